#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "KitFixtures.h"
#include "LocalModelServer.h"
#include "TavoriCore/ReceiptAnalyzer.h"
#include "TavoriKit/FieldMerger.h"
#include "TavoriKit/ReceiptPipeline.h"
#include "TavoriKit/SemanticExtractor.h"

namespace tavori {
namespace {

using namespace std::chrono_literals;
using testing::LocalModelServer;

const std::vector<std::string>& receiptLines() {
    static const std::vector<std::string> lines = {
        "山田商店",      "東京都千代田区神田1-2-3", "2024年5月1日 12:34",
        "コーヒー ¥500", "ケーキ ¥1,480",           "合計 ¥1,980",
    };
    return lines;
}

RecognizedDocument receiptDocument() {
    std::string text;
    for (const auto& line : receiptLines()) text += line + "\n";
    return RecognizedDocument::fromPlainText(text, RecognizedDocument::TextSource::pdfTextLayer, 0);
}

// The document does not say what kind it is, so the model's answer shows in the merged type.
const char* const modelAnswer =
    R"({"date":"2024-05-01","vendor":"山田商店","totalAmount":1980,"documentType":"領収書","registrationNumber":""})";

AnalyzerOptions options() {
    AnalyzerOptions o;
    o.recipientName = "タヴォリ株式会社";
    return o;
}

ReceiptPipeline pipelineFor(const std::string& url, bool useSemantic) {
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
    void TearDown() override { SemanticExtractor::forgetAvailability(); }
};

TEST_F(ReceiptPipelineTest, RulesAloneUnlessTheModelAnswers) {
    enum class Url { server, nothingListening, none };
    struct Case {
        const char* name;
        bool useSemantic;
        Url url;
        int chatStatus;
        std::size_t expectedChats;
    };
    const std::vector<Case> cases = {
        {"semantic off with a good server", false, Url::server, 200, 0},
        {"no model configured", true, Url::none, 200, 0},
        {"nothing listening", true, Url::nothingListening, 200, 0},
        {"failing server", true, Url::server, 500, 1},
    };
    const RecognizedDocument document = receiptDocument();
    const PipelineResult rulesOnly{document, ReceiptAnalyzer::analyze(document, options()), false,
                                   std::nullopt};
    ASSERT_EQ(rulesOnly.fields.documentType, DocumentType::other);
    for (const auto& c : cases) {
        LocalModelServer server;
        if (c.chatStatus == 200) {
            server.answerContent(modelAnswer);
        } else {
            server.answerRaw(c.chatStatus, R"({"error":{"code":500,"message":"boom"}})");
        }
        std::string url;
        if (c.url == Url::server) url = server.url();
        if (c.url == Url::nothingListening) url = "http://127.0.0.1:" + std::to_string(testing::unusedPort());
        EXPECT_EQ(pipelineFor(url, c.useSemantic).analyze(document, options()), rulesOnly) << c.name;
        EXPECT_EQ(server.count("/v1/chat/completions"), c.expectedChats) << c.name;
        if (!c.useSemantic) {
            EXPECT_TRUE(server.received().empty()) << c.name;
        }
    }
    EXPECT_EQ(ReceiptPipeline{}.analyze(document, options()), rulesOnly) << "default pipeline";
}

TEST_F(ReceiptPipelineTest, AnswerIsMergedIntoTheRules) {
    LocalModelServer server;
    server.answerContent(modelAnswer);
    const RecognizedDocument document = receiptDocument();
    const auto result = pipelineFor(server.url(), true).analyze(document, options());

    SemanticFields semantic;
    semantic.date = DateComponentsValue{2024, 5, 1};
    semantic.vendor = "山田商店";
    semantic.amount = 1980;
    semantic.documentType = DocumentType::receipt;
    const auto rules = ReceiptAnalyzer::analyze(document, options());
    EXPECT_EQ(result, (PipelineResult{document, FieldMerger::merge(rules, semantic, options().aliases), true,
                                      semantic}));
    EXPECT_EQ(result.fields.documentType, DocumentType::receipt);
    EXPECT_EQ(result.fields.confidence.amount, FieldConfidence::Level::high);

    const auto body = nlohmann::json::parse(server.received().back().body);
    EXPECT_TRUE(body["messages"][1]["content"].get<std::string>().ends_with(
        "The customer who received this document is \"タヴォリ株式会社\". Never return that name as the "
        "vendor."))
        << "the recipient name of the options reaches the prompt";
}

TEST_F(ReceiptPipelineTest, RunReadsTheFileFirst) {
    LocalModelServer server;
    server.answerContent(modelAnswer);
    const auto pipeline = pipelineFor(server.url(), true);
    test::TempDir dir;

    test::writePdf(dir / "receipt.pdf", {test::pageWithLines(receiptLines())});
    const auto result = pipeline.run(dir / "receipt.pdf", options());
    EXPECT_EQ(result.document.source, RecognizedDocument::TextSource::pdfTextLayer);
    EXPECT_TRUE(result.usedSemantic);
    EXPECT_EQ(result.fields.amount, 1980);
    EXPECT_EQ(result.fields.documentType, DocumentType::receipt);

    const std::size_t requests = server.received().size();
    test::writeBytes(dir / "notes.txt", std::string("合計 ¥1,980"));
    try {
        pipeline.run(dir / "notes.txt", options());
        ADD_FAILURE() << "an unsupported file was analysed";
    } catch (const DocumentTextExtractorError& error) {
        EXPECT_EQ(error.errorCase(), DocumentTextExtractorError::Case::unsupportedFile);
    }
    EXPECT_EQ(server.received().size(), requests) << "the model is not asked about a file that was not read";
}

}  // namespace
}  // namespace tavori
