#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "TavoriCore/ReceiptAnalyzer.h"
#include "TavoriCore/Unicode.h"

// Lines split at newlines; a byte after "|" on a line becomes an alternative reading, so the re-read path
// runs.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto document =
        tavori::RecognizedDocument::fromPlainText(text, tavori::RecognizedDocument::TextSource::ocr, 0);
    for (std::size_t i = 0; i < document.lines.size(); ++i) {
        auto& line = document.lines[i];
        const auto bar = line.text.find('|');
        if (bar != std::string::npos) {
            line.alternatives.push_back(line.text.substr(bar + 1));
            line.text.resize(bar);
        }
        line.left = static_cast<double>(i % 3) / 3.0;
    }
    tavori::AnalyzerOptions options;
    options.recipientName = "山田商事";
    const auto fields = tavori::ReceiptAnalyzer::analyze(document, options);
    if (fields.date && !fields.date->isValid()) std::abort();
    if (fields.amount && (*fields.amount < 1 || *fields.amount > 99'999'999)) std::abort();
    if (tavori::Unicode::toValidUtf8(fields.vendor) != fields.vendor) std::abort();
    if (fields.registrationNumber && fields.registrationNumber->size() != 14) std::abort();
    if (fields.isComplete() != (fields.date && fields.amount && !fields.vendor.empty())) std::abort();
    return 0;
}
