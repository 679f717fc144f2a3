#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <sstream>

#include "../TestFiles.h"
#include "../kit/LocalModelServer.h"
#include "CliRunner.h"
#include "TavoriKit/model/SemanticAvailability.h"
#include "samples/SamplePdf.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using tavori::test::CliRunner;
using tavori::test::TestFolder;
using tavori::testing::LocalModelServer;
using Clock = std::chrono::steady_clock;

namespace {

std::vector<nlohmann::json> jsonLines(const std::string& text) {
    std::vector<nlohmann::json> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
    return lines;
}

// `tavori scan --json` with a stand-in model server on 127.0.0.1 in place of llama-server. Which answers are
// refused or merged is the semantic extractor's and the pipeline's to test; here, the command's wiring.
class CliModelTest : public ::testing::Test {
  protected:
    TestFolder dir;
    CliRunner cli{dir.path()};
    fs::path cafe = dir / "cafe.pdf";  // 喫茶ひまわり, 2024/04/02, ¥1,400; rules unsure of date and vendor
    fs::path stationery = dir / "stationery.pdf";

    void SetUp() override {
        for (const auto& document : tavori::SamplePdf::samples()) {
            if (document.fileName == "scan_0001.pdf") tavori::SamplePdf::write(stationery, document);
            if (document.fileName == "scan_0002.pdf") tavori::SamplePdf::write(cafe, document);
        }
    }
    static std::vector<std::string> modelEnv(const LocalModelServer& server, int timeoutSeconds = 20) {
        return {"TAVORI_LLM_URL=" + server.url(), "TAVORI_LLM_MODEL=test-model",
                "TAVORI_LLM_TIMEOUT=" + std::to_string(timeoutSeconds)};
    }
    nlohmann::json scanCafe(const std::vector<std::string>& env) const {
        const auto result = cli.run({"scan", "--json", cafe.native()}, env);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        const auto lines = jsonLines(result.out);
        return lines.size() == 1 ? lines.front() : nlohmann::json();
    }
};

TEST_F(CliModelTest, TheEnvironmentsModelIsAskedAndItsGroundedAnswerMerged) {
    const nlohmann::json rulesOnly = scanCafe({});
    ASSERT_EQ(rulesOnly["fields"]["vendor"], "喫茶ひまわり");
    ASSERT_EQ(rulesOnly["fields"]["confidence"]["date"], "medium");
    ASSERT_EQ(rulesOnly["fields"]["confidence"]["vendor"], "medium");
    EXPECT_EQ(rulesOnly["usedSemantic"], false);
    EXPECT_FALSE(rulesOnly.contains("semantic"));

    // The model reads another line of the text as the vendor: the rules were only moderately sure of theirs,
    // so the model's vendor is taken, marked low (the levels and notes of a merge are the merger's to test).
    LocalModelServer grounded;
    grounded.answerContent(
        R"({"date":"2024-04-02","vendor":"ブレンドコーヒー","totalAmount":1400,"documentType":"領収書","registrationNumber":""})");
    const nlohmann::json merged = scanCafe(modelEnv(grounded));
    EXPECT_EQ(merged["usedSemantic"], true);
    EXPECT_EQ(merged["semantic"], nlohmann::json::parse(
                                      R"({"date":{"year":2024,"month":4,"day":2},"vendor":"ブレンドコーヒー",
                                          "amount":1400,"documentType":"領収書"})"))
        << merged.dump();
    EXPECT_EQ(merged["fields"]["vendor"], "ブレンドコーヒー");
    EXPECT_EQ(merged["fields"]["confidence"]["vendor"], "low");
    EXPECT_EQ(merged["status"], "review");
    EXPECT_EQ(grounded.count("/v1/chat/completions"), 1u);

    // A URL off this machine is never contacted, and the user is told so once.
    const auto remote =
        cli.run({"scan", cafe.native(), cafe.native()}, {"TAVORI_LLM_URL=http://192.0.2.1:8080"});
    EXPECT_EQ(remote.err, "TAVORI_LLM_URL「http://192.0.2.1:8080」は使えません: " +
                              std::string(tavori::userDescription(tavori::SemanticAvailability::notLocal)) +
                              "\n");
}

TEST_F(CliModelTest, ServerThatNeverAnswersCostsAtMostTheTimeout) {
    const nlohmann::json rulesOnly = scanCafe({});
    LocalModelServer silent;
    silent.answerChat(200, LocalModelServer::completion("{}"), LocalModelServer::Chat::hang);
    const auto start = Clock::now();
    const nlohmann::json j = scanCafe(modelEnv(silent, 2));
    const auto elapsed = Clock::now() - start;
    EXPECT_EQ(j["fields"], rulesOnly["fields"]);
    EXPECT_EQ(j["usedSemantic"], false);
    // Two seconds of model timeout plus reading a text PDF; far below the default minute.
    EXPECT_LT(elapsed, 20s) << std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()
                            << " ms";
}

TEST_F(CliModelTest, RowsAppearWhileLaterFilesAreStillBeingRead) {
    // Each file waits out a 3 s model timeout on the one worker, so the first row is due seconds before the
    // second.
    LocalModelServer silent;
    silent.answerChat(200, LocalModelServer::completion("{}"), LocalModelServer::Chat::hang);
    std::vector<std::string> env = modelEnv(silent, 3);
    env.push_back("TAVORI_JOBS=1");
    const int pid = cli.start({"scan", cafe.native(), stationery.native()}, env);
    std::string early;
    ASSERT_TRUE(tavori::test::eventually([&] {
        early = tavori::test::readFile(cli.stdoutFile());
        return !CliRunner::running(pid) || (!early.empty() && early.back() == '\n');
    }));
    const bool stillRunning = CliRunner::running(pid);
    const auto result = cli.finish(pid);
    EXPECT_TRUE(stillRunning) << "the first row came only at the end";
    EXPECT_EQ(early.substr(0, cafe.native().size() + 1), cafe.native() + "\t") << early;
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out.substr(0, early.size()), early);
    EXPECT_NE(result.out.find("\n" + stationery.native() + "\t"), std::string::npos) << result.out;
}

}  // namespace
