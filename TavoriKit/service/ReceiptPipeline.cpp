#include "TavoriKit/service/ReceiptPipeline.h"

#include "TavoriCore/CharacterProperties.h"
#include "TavoriCore/ReceiptAnalyzer.h"
#include "TavoriKit/model/FieldMerger.h"
#include "TavoriKit/model/SemanticExtractor.h"

namespace tavori {

std::ostream& operator<<(std::ostream& os, const PipelineResult& result) {
    os << "PipelineResult{" << result.document.lines.size() << " lines, " << result.fields
       << (result.usedSemantic ? ", merged" : ", rules only");
    if (result.semantic) os << ", " << *result.semantic;
    return os << '}';
}

PipelineResult ReceiptPipeline::run(const std::filesystem::path& path, const AnalyzerOptions& options,
                                    const CancellationToken& cancel) const {
    return analyze(extractor.extract(path, cancel), options, cancel);
}

PipelineResult ReceiptPipeline::analyze(const RecognizedDocument& document, const AnalyzerOptions& options,
                                        const CancellationToken& cancel) const {
    PipelineResult result{document, ReceiptAnalyzer::analyze(document, options), false, std::nullopt,
                          std::nullopt};
    // A control or bidirectional character read from a document never reaches a name, the book or a terminal.
    const auto shown = [](PipelineResult r) {
        r.fields.vendor = Unicode::withoutFormatOrControl(r.fields.vendor);
        return r;
    };
    mergeSemantic(result, options, cancel);
    // Last, so that the register's name stands in for an uncertain vendor from the rules and the model alike.
    if (registry) {
        result.registration = registry->check(result.fields);
        if (result.registration) applyRegisteredName(result.fields, *result.registration, options.aliases);
    }
    return shown(std::move(result));
}

void ReceiptPipeline::mergeSemantic(PipelineResult& result, const AnalyzerOptions& options,
                                    const CancellationToken& cancel) const {
    if (!useSemantic || cancel.isCancelled() || !isAvailable(SemanticExtractor::availability(model))) return;
    const auto semantic = SemanticExtractor::extract(result.document, options.recipientName, model, cancel);
    if (!semantic) return;
    result.fields = FieldMerger::merge(result.fields, *semantic, options.aliases);
    result.usedSemantic = true;
    result.semantic = semantic;
}

}  // namespace tavori
