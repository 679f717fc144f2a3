#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <unordered_set>

#include <fuzzer/FuzzedDataProvider.h>

#include "TavoriCore/FileNameTemplate.h"
#include "TavoriCore/Unicode.h"

namespace {

using tavori::FileNameTemplate;
namespace Unicode = tavori::Unicode;

bool isValidUtf8(const std::string& s) {
    return Unicode::toValidUtf8(s) == s;
}

bool hasUnsafeByte(const std::string& s) {
    for (unsigned char c : s)
        if (c < 0x20 || c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' ||
            c == '>' || c == '|')
            return true;
    return false;
}

bool hasTrimmableEnds(const std::string& s) {
    return !s.empty() && (s.front() == ' ' || s.front() == '.' || s.back() == ' ' || s.back() == '.');
}

// A safe component: valid UTF-8, no reserved or control bytes, nothing to trim, within its length, and
// stable.
void checkComponent(const std::string& s, std::int64_t maxLength) {
    if (!isValidUtf8(s) || hasUnsafeByte(s) || hasTrimmableEnds(s)) std::abort();
    if (maxLength >= 0 && Unicode::characterCount(s) > static_cast<std::uint64_t>(maxLength)) std::abort();
    if (FileNameTemplate::sanitizeComponent(s, maxLength) != s) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    FileNameTemplate nameTemplate;
    nameTemplate.templateText = input.ConsumeRandomLengthString(512);
    nameTemplate.dateFormat = input.ConsumeRandomLengthString(32);
    nameTemplate.amountStyle = input.PickValueInArray(tavori::allAmountStyles);
    nameTemplate.maxVendorLength = input.ConsumeIntegralInRange<std::int64_t>(-2, 80);

    tavori::ReceiptFields fields;
    fields.vendor = input.ConsumeRandomLengthString(256);
    if (input.ConsumeBool()) fields.date = tavori::DateComponentsValue{input.ConsumeIntegral<int>(), 3, 15};
    if (input.ConsumeBool()) fields.amount = input.ConsumeIntegral<std::int64_t>();
    if (input.ConsumeBool()) fields.registrationNumber = input.ConsumeRandomLengthString(32);
    fields.documentType = input.PickValueInArray(tavori::allDocumentTypes);
    std::optional<std::int64_t> sequence;
    if (input.ConsumeBool()) sequence = input.ConsumeIntegral<std::int64_t>();

    const std::string rendered = nameTemplate.render(fields, sequence);
    checkComponent(rendered, FileNameTemplate::maxRenderedLength);

    const std::int64_t maxLength = nameTemplate.maxVendorLength;
    checkComponent(FileNameTemplate::sanitizeComponent(fields.vendor, maxLength), maxLength);

    const std::string base = input.ConsumeRandomLengthString(600);
    const std::string ext = input.ConsumeRandomLengthString(300);
    std::unordered_set<std::string> existing;
    const int taken = input.ConsumeIntegralInRange(0, 4);
    for (int i = 0; i < taken; ++i)
        existing.insert(Unicode::lowercased(FileNameTemplate::uniqueName(base, ext, existing)));
    existing.insert(Unicode::lowercased(input.ConsumeRemainingBytesAsString()));

    const std::string name = FileNameTemplate::uniqueName(base, ext, existing);
    if (existing.contains(Unicode::lowercased(name))) std::abort();
    if (isValidUtf8(base) && isValidUtf8(ext) && !isValidUtf8(name)) std::abort();
    // The promise holds whenever the extension and a collision suffix leave room for a base.
    if (ext.size() + 1 + 16 < FileNameTemplate::maxNameBytes && name.size() > FileNameTemplate::maxNameBytes)
        std::abort();
    if (!name.ends_with(ext)) std::abort();

    const std::string fallback = FileNameTemplate::baseNameOrFallback(rendered, "/in/" + base + ".pdf");
    if (!rendered.empty() && fallback != rendered) std::abort();
    return 0;
}
