#pragma once

#include <filesystem>
#include <optional>
#include <ostream>

#include "TavoriCore/AnalyzerOptions.h"
#include "TavoriCore/ReceiptFields.h"
#include "TavoriCore/RecognizedDocument.h"
#include "TavoriKit/base/CancellationToken.h"
#include "TavoriKit/model/LocalModelConfig.h"
#include "TavoriKit/model/SemanticFields.h"
#include "TavoriKit/reading/DocumentTextExtractor.h"

namespace tavori {

// What one analysis produced: the text that was read, the final fields, and the model's validated answer
// when it was merged in.
struct PipelineResult {
    RecognizedDocument document;
    ReceiptFields fields;
    bool usedSemantic = false;  // exactly when `semantic` is present and `fields` are the merged ones
    std::optional<SemanticFields> semantic;

    bool operator==(const PipelineResult&) const = default;
};

std::ostream& operator<<(std::ostream& os, const PipelineResult& result);

// The one call that turns a file into fields ready for review: read the text, run the rules, and, when the
// local model is available, ask it and merge its answer. The rules always run first and in full; the model's
// answer enters only through the merge.
struct ReceiptPipeline {
    DocumentTextExtractor extractor;
    bool useSemantic = true;
    LocalModelConfig model;  // the application passes LocalModelConfig::fromEnvironment(); empty: rules only

    // Throws only what reading the file throws (DocumentTextExtractorError, TextRecognizerError).
    PipelineResult run(const std::filesystem::path& path, const AnalyzerOptions& options,
                       const CancellationToken& cancel = {}) const;
    // For text that is already read. Never throws: a model that fails leaves the rule-based result. When
    // `cancel` fires, the model is not asked or its request is abandoned, and the caller discards the result.
    PipelineResult analyze(const RecognizedDocument& document, const AnalyzerOptions& options,
                           const CancellationToken& cancel = {}) const;
};

}  // namespace tavori
