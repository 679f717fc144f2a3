#include "TavoriName/DevLog.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "TavoriCore/Unicode.h"
#include "TavoriKit/reading/NeuralReader.h"

#ifndef TAVORI_PACKAGED
#define TAVORI_PACKAGED 0
#endif

namespace tavori::DevLog {

namespace {

std::string dateText(const std::optional<DateComponentsValue>& date) {
    return date ? date->formatted("yyyy-MM-dd") : "-";
}

std::string amountText(const std::optional<std::int64_t>& amount) {
    return amount ? std::to_string(*amount) : "-";
}

}  // namespace

bool enabledFor(bool packaged, const char* debugVariable) {
    if (!packaged) return true;
    return debugVariable != nullptr && std::string_view(debugVariable) == "1";
}

bool enabled() {
    static const bool on = enabledFor(TAVORI_PACKAGED != 0, std::getenv("TAVORI_DEBUG"));
    return on;
}

std::string text(const std::filesystem::path& url, const PipelineResult& result) {
    const ReceiptFields& fields = result.fields;
    std::string out = "==== " + Unicode::toValidUtf8(url.filename().native()) + " (" +
                      std::string(rawValue(result.document.source));
    if (result.usedSemantic) out += " + local LLM";
    out += ")\n";
    for (const TextLine& line : result.document.sortedLines()) {
        out += line.text;
        if (!line.alternatives.empty()) {
            out += "   [拡大: ";
            for (std::size_t i = 0; i < line.alternatives.size(); ++i) {
                if (i > 0) out += " / ";
                out += line.alternatives[i];
            }
            out += "]";
        }
        out += '\n';
    }
    out += "---- rules+merged: date=" + dateText(fields.date) + " vendor=" + fields.vendor +
           " amount=" + amountText(fields.amount) + " type=" + std::string(rawValue(fields.documentType)) +
           " regno=" + fields.registrationNumber.value_or("-") + '\n';
    out += "     confidence: date=" + std::string(rawValue(fields.confidence.date)) +
           " vendor=" + std::string(rawValue(fields.confidence.vendor)) +
           " amount=" + std::string(rawValue(fields.confidence.amount)) + '\n';
    if (result.semantic) {
        const SemanticFields& model = *result.semantic;
        out += "     model: date=" + dateText(model.date) + " vendor=" + model.vendor.value_or("-") +
               " amount=" + amountText(model.amount) + " type=" +
               (model.documentType ? std::string(rawValue(*model.documentType)) : std::string("-")) + '\n';
    }
    for (const std::string& note : fields.confidence.notes) out += "     note: " + note + '\n';
    return out;
}

void dump(const std::filesystem::path& url, const PipelineResult& result) {
    if (!enabled()) return;
    std::string block = text(url, result);
    // Once a run: whether the figures had the neural reader's second opinion.
    static const bool neuralMissing = !NeuralReader::installed(NeuralReader::modelFolder());
    static std::atomic<bool> told{false};
    if (neuralMissing && result.document.source == RecognizedDocument::TextSource::ocr &&
        !told.exchange(true))
        block = "(neural reader: no model in " + NeuralReader::modelFolder().string() +
                "; figures read by Tesseract alone)\n" + block;
    std::string_view rest = block;
    while (!rest.empty()) {
        const ssize_t written = ::write(STDOUT_FILENO, rest.data(), rest.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        rest.remove_prefix(static_cast<std::size_t>(written));
    }
}

}  // namespace tavori::DevLog
