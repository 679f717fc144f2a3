#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "KitFixtures.h"
#include "LocalModelServer.h"
#include "TavoriCore/ReceiptAnalyzer.h"
#include "TavoriKit/model/SemanticExtractor.h"
#include "TavoriKit/service/ReceiptPipeline.h"

namespace tavori {
namespace {

using namespace std::chrono_literals;
using testing::LocalModelServer;

const std::vector<std::string> receiptLines = {"山田商店",           "東京都千代田区神田1-2-3",
                                               "2024年5月1日 12:34", "コーヒー ¥500",
                                               "ケーキ ¥1,480",      "合計 ¥1,980"};
// The document does not say what kind it is, so the model's answer shows in the merged type.
const char* const modelAnswer =
    R"({"date":"2024-05-01","vendor":"山田商店","totalAmount":1980,"documentType":"領収書","registrationNumber":""})";

RecognizedDocument receiptDocument() {
    std::string text;
    for (const auto& line : receiptLines) text += line + "\n";
    return RecognizedDocument::fromPlainText(text, RecognizedDocument::TextSource::pdfTextLayer, 0);
}

AnalyzerOptions options() {
    AnalyzerOptions o;
    o.recipientName = "タヴォリ株式会社";
    return o;
}

ReceiptPipeline pipelineFor(const std::string& url, bool useSemantic = true) {
    ReceiptPipeline pipeline;
    pipeline.useSemantic = useSemantic;
    pipeline.model.url = url;
    pipeline.model.model = "test-model";
    pipeline.model.timeout = 5s;
    return pipeline;
}

class ReceiptPipelineTest : public ::testing::Test {
  protected:
    void SetUp() override { SemanticExtractor::forgetAvailability(); }
};

TEST_F(ReceiptPipelineTest, RulesAloneUnlessTheModelAnswers) {
    const RecognizedDocument document = receiptDocument();
    const PipelineResult rulesOnly{document, ReceiptAnalyzer::analyze(document, options()), false,
                                   std::nullopt, std::nullopt};
    ASSERT_EQ(rulesOnly.fields.documentType, DocumentType::other);
    LocalModelServer good;
    good.answerContent(modelAnswer);
    struct Case {
        const char* name;
        ReceiptPipeline pipeline;
    };
    const std::vector<Case> cases = {
        {"semantic off with a good server", pipelineFor(good.url(), false)},
        {"default pipeline, no model configured", ReceiptPipeline{}},
        // Each way an exchange can fail is the semantic extractor's case; one stands for them here.
        {"nothing listening", pipelineFor(testing::unusedUrl())},
    };
    for (const auto& c : cases) EXPECT_EQ(c.pipeline.analyze(document, options()), rulesOnly) << c.name;
    EXPECT_TRUE(good.received().empty()) << "the model is never asked with semantic extraction off";
}

TEST_F(ReceiptPipelineTest, AnswerIsMergedIntoTheRules) {
    LocalModelServer server;
    server.answerContent(modelAnswer);
    const RecognizedDocument document = receiptDocument();
    const auto result = pipelineFor(server.url()).analyze(document, options());

    const SemanticFields semantic{DateComponentsValue{2024, 5, 1}, "山田商店", 1980, std::nullopt, {}};
    // The rules found all three and the model agrees: every level is confirmed high. The type the model
    // names is not written in the document, so it stays その他.
    const ReceiptFields merged{
        DateComponentsValue{2024, 5, 1},
        "山田商店",
        1980,
        DocumentType::other,
        std::nullopt,
        FieldConfidence{
            FieldConfidence::Level::high, FieldConfidence::Level::high, FieldConfidence::Level::high, {}}};
    EXPECT_EQ(result, (PipelineResult{document, merged, true, semantic, std::nullopt}));
    EXPECT_TRUE(nlohmann::json::parse(server.received().back().body)["messages"][1]["content"]
                    .get<std::string>()
                    .ends_with("is \"タヴォリ株式会社\". Never return that name as the vendor."))
        << "the recipient name of the options reaches the prompt";
}

TEST_F(ReceiptPipelineTest, RunReadsTheFileFirst) {
    LocalModelServer server;
    server.answerContent(modelAnswer);
    test::TempDir dir;
    test::writePdf(dir / "receipt.pdf", {test::pageWithLines(receiptLines)});
    const auto result = pipelineFor(server.url()).run(dir / "receipt.pdf", options());
    EXPECT_EQ(result.document.source, RecognizedDocument::TextSource::pdfTextLayer);
    EXPECT_TRUE(result.usedSemantic);
    EXPECT_EQ(result.fields.amount, 1980);

    const std::size_t requests = server.received().size();
    test::writeBytes(dir / "notes.txt", std::string("合計 ¥1,980"));
    try {
        pipelineFor(server.url()).run(dir / "notes.txt", options());
        ADD_FAILURE() << "an unsupported file was analysed";
    } catch (const DocumentTextExtractorError& error) {
        EXPECT_EQ(error.errorCase(), DocumentTextExtractorError::Case::unsupportedFile);
    }
    EXPECT_EQ(server.received().size(), requests) << "the model is not asked about a file that was not read";
}

}  // namespace
}  // namespace tavori
