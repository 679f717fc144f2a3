#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <variant>

#include <nlohmann/json.hpp>

#include "TavoriCore/TextNormalizer.h"
#include "TavoriCore/Unicode.h"
#include "TavoriKit/model/LocalModelConfig.h"
#include "TavoriKit/model/SemanticExtractor.h"

// The bytes before the first NUL are the model's answer, the rest the document's text. An answer that is not
// the JSON object is cut at 0x1F into the five raw members, so validation sees arbitrary values either way.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavori;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = input.find('\0');
    const std::string_view answer = input.substr(0, nul);
    const std::string_view text = nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1);

    auto generated = GeneratedReceiptFields::fromAnswer(answer);
    if (!generated) {
        GeneratedReceiptFields raw;
        std::string* members[] = {&raw.date, &raw.vendor, &raw.documentType, &raw.registrationNumber};
        std::size_t from = 0;
        for (std::string* member : members) {
            if (from > answer.size()) break;
            const std::size_t cut = std::min(answer.find('\x1f', from), answer.size());
            *member = std::string(answer.substr(from, cut - from));
            from = cut + 1;
        }
        raw.totalAmount = static_cast<std::int64_t>(answer.size());
        generated = raw;
    }

    const SemanticFields fields = SemanticExtractor::validate(*generated, text);
    const std::string normalized = TextNormalizer::normalize(text);
    if (fields.date && !fields.date->isValid()) std::abort();
    if (fields.amount) {
        if (*fields.amount < 1) std::abort();
        bool found = false;
        for (const auto n : SemanticExtractor::numberTokens(normalized)) found = found || n == *fields.amount;
        if (!found) std::abort();
    }
    if (fields.vendor && (Unicode::toValidUtf8(*fields.vendor) != *fields.vendor ||
                          !SemanticExtractor::vendorIsGrounded(*fields.vendor, normalized)))
        std::abort();
    if (fields.registrationNumber &&
        (fields.registrationNumber->size() != 14 || fields.registrationNumber->front() != 'T' ||
         normalized.find(fields.registrationNumber->substr(1)) == std::string::npos))
        std::abort();

    const std::string quoted = SemanticExtractor::jsonString(text);
    const auto decoded = nlohmann::json::parse(quoted, nullptr, false);
    if (!decoded.is_string() || decoded.get<std::string>() != Unicode::toValidUtf8(text)) std::abort();
    (void)SemanticExtractor::prompt(text, answer);

    const auto endpoint = LocalEndpoint::parse(answer);
    if (const auto* e = std::get_if<LocalEndpoint>(&endpoint)) {
        if (e->address != "::1" && !e->address.starts_with("127.")) std::abort();
        if (e->port < 1 || e->port > 65535) std::abort();
        for (const char c : e->basePath)
            if (static_cast<unsigned char>(c) <= ' ') std::abort();
    }
    return 0;
}
