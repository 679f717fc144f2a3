#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "TavoriCore/RecognizedDocument.h"
#include "TavoriCore/TextNormalizer.h"
#include "TavoriCore/Unicode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string normalized = tavori::TextNormalizer::normalize(text);
    // The result is valid UTF-8 and normalising is idempotent.
    if (tavori::Unicode::toValidUtf8(normalized) != normalized) std::abort();
    if (tavori::TextNormalizer::normalize(normalized) != normalized) std::abort();
    tavori::TextNormalizer::repairNumericToken(text);
    tavori::TextNormalizer::digitsOnly(text);
    const auto doc =
        tavori::RecognizedDocument::fromPlainText(text, tavori::RecognizedDocument::TextSource::ocr, 0);
    if (doc.sortedLines().size() != doc.lines.size()) std::abort();
    return 0;
}
