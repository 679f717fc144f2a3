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
    PipelineResult result{document, ReceiptAnalyzer::analyze(document, options), false, std::nullopt};
    // A control or bidirectional character read from a document never reaches a name, the book or a terminal.
    const auto shown = [](PipelineResult r) {
        r.fields.vendor = Unicode::withoutFormatOrControl(r.fields.vendor);
        return r;
    };
    if (!useSemantic || cancel.isCancelled() || !isAvailable(SemanticExtractor::availability(model)))
        return shown(std::move(result));
    const auto semantic = SemanticExtractor::extract(document, options.recipientName, model, cancel);
    if (!semantic) return shown(std::move(result));
    result.fields = FieldMerger::merge(result.fields, *semantic, options.aliases);
    result.usedSemantic = true;
    result.semantic = semantic;
    return shown(std::move(result));
}

}  // namespace tavori
