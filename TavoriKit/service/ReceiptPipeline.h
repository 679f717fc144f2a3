#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>

#include "TavoriCore/AnalyzerOptions.h"
#include "TavoriCore/ReceiptFields.h"
#include "TavoriCore/RecognizedDocument.h"
#include "TavoriKit/base/CancellationToken.h"
#include "TavoriKit/model/LocalModelConfig.h"
#include "TavoriKit/model/SemanticFields.h"
#include "TavoriKit/reading/DocumentTextExtractor.h"
#include "TavoriKit/registry/RegistrySource.h"

namespace tavori {

// What one analysis produced: the text that was read, the final fields, and the model's validated answer
// when it was merged in.
struct PipelineResult {
    RecognizedDocument document;
    ReceiptFields fields;
    bool usedSemantic = false;  // exactly when `semantic` is present and `fields` are the merged ones
    std::optional<SemanticFields> semantic;
    // What the register said of the fields' registration number on their date; nothing without a number, a
    // register or a pipeline that asks one.
    std::optional<RegistrationStatus> registration;

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
    // The imported register, whose names stand in for an uncertain vendor; none: the rules' vendor only.
    std::shared_ptr<const RegistrySource> registry;

    // Throws only what reading the file throws (DocumentTextExtractorError, TextRecognizerError).
    PipelineResult run(const std::filesystem::path& path, const AnalyzerOptions& options,
                       const CancellationToken& cancel = {}) const;
    // For text that is already read. Never throws: a model that fails leaves the rule-based result. When
    // `cancel` fires, the model is not asked or its request is abandoned, and the caller discards the result.
    PipelineResult analyze(const RecognizedDocument& document, const AnalyzerOptions& options,
                           const CancellationToken& cancel = {}) const;

  private:
    void mergeSemantic(PipelineResult& result, const AnalyzerOptions& options,
                       const CancellationToken& cancel) const;
};

}  // namespace tavori
