#include "TavoriKit/service/ReceiptPipeline.h"

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
    PipelineResult result{document, ReceiptAnalyzer::analyze(document, options), false, std::nullopt};
    if (!useSemantic || cancel.isCancelled() || !isAvailable(SemanticExtractor::availability(model)))
        return result;
    const auto semantic = SemanticExtractor::extract(document, options.recipientName, model, cancel);
    if (!semantic) return result;
    result.fields = FieldMerger::merge(result.fields, *semantic, options.aliases);
    result.usedSemantic = true;
    result.semantic = semantic;
    return result;
}

}  // namespace tavori
