#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "KitFixtures.h"
#include "LocalModelServer.h"
#include "TavoriKit/model/SemanticExtractor.h"
#include "TavoriKit/service/AnalysisService.h"

namespace tavori {
namespace {

using namespace std::chrono_literals;
using testing::LocalModelServer;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

const std::vector<std::string> receiptLines = {"山田商店", "2024年5月1日 12:34", "コーヒー ¥500",
                                               "ケーキ ¥1,480", "合計 ¥1,980"};

// Every delivery, in order, so that a test can wait for some and check that others never came.
class Deliveries {
  public:
    AnalysisService::AnalysisCallback analysis() {
        return [this](AnalysisService::RequestId id, AnalysisService::Outcome outcome) {
            std::lock_guard lock(mutex_);
            order_.push_back(id);
            outcomes_.emplace(id, std::move(outcome));
            changed_.notify_all();
        };
    }
    AnalysisService::ThumbnailCallback thumbnail() {
        return [this](AnalysisService::RequestId id, std::optional<RgbImage> image) {
            std::lock_guard lock(mutex_);
            order_.push_back(id);
            thumbnails_.emplace(id, std::move(image));
            changed_.notify_all();
        };
    }
    // Waits (at most a generous two minutes, for a loaded machine) until `count` deliveries have come.
    bool waitFor(std::size_t count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 120s, [&] { return order_.size() >= count; });
    }
    std::vector<AnalysisService::RequestId> order() const {
        std::lock_guard lock(mutex_);
        return order_;
    }
    AnalysisService::Outcome outcome(AnalysisService::RequestId id) const {
        std::lock_guard lock(mutex_);
        return outcomes_.at(id);
    }

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<AnalysisService::RequestId> order_;
    std::map<AnalysisService::RequestId, AnalysisService::Outcome> outcomes_;  // the first of each
    std::map<AnalysisService::RequestId, std::optional<RgbImage>> thumbnails_;
};

AnalysisService::Configuration configuration(std::size_t workers, const std::string& modelUrl = {}) {
    AnalysisService::Configuration c;
    c.workers = workers;
    c.pipeline.model = LocalModelConfig{};
    c.pipeline.model.url = modelUrl;
    c.pipeline.model.model = "test-model";
    return c;
}

template <class Predicate>
bool eventually(Predicate predicate) {
    const auto deadline = Clock::now() + 120s;
    while (!predicate()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

const PipelineResult* resultOf(const AnalysisService::Outcome& outcome) {
    return std::get_if<PipelineResult>(&outcome);
}

class AnalysisServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SemanticExtractor::forgetAvailability();
        test::writePdf(dir / "receipt.pdf", {test::pageWithLines(receiptLines)});
        ASSERT_TRUE(test::receiptImage(2.5).writePng(dir / "receipt.png"));
        const auto scanned = test::scannedPage(test::receiptImage(2.5), 260, 300);
        test::writePdf(dir / "three-scans.pdf", {scanned, scanned, scanned});
        test::writeBytes(dir / "notes.txt", std::string("合計 ¥1,980"));
    }
    test::TempDir dir;
};

TEST(AnalysisServiceWorkers, CountFromTavoriJobsElseCores) {
    struct Case {
        const char* jobs;
        unsigned cores;
        std::size_t expected;
    };
    const std::vector<Case> cases = {{nullptr, 4, 4},
                                     {"2", 4, 2},
                                     {"1", 8, 1},
                                     {"0", 4, 4},
                                     {"-3", 4, 4},
                                     {"", 4, 4},
                                     {"x", 4, 4},
                                     {"3x", 4, 4},
                                     {" 2", 4, 2},
                                     {"1000", 4, 256},
                                     {nullptr, 0, 1},
                                     {"0", 0, 1},
                                     {"99999999999999999999", 4, 4}};
    for (const auto& c : cases)
        EXPECT_EQ(AnalysisService::workerCount(c.jobs, c.cores), c.expected)
            << (c.jobs ? c.jobs : "(unset)") << " with " << c.cores << " cores";
}

TEST(AnalysisServiceErrors, EveryFailureSpeaksJapanese) {
    using Kind = AnalysisError::Kind;
    using Case = DocumentTextExtractorError::Case;
    const std::string unreadable =
        "ファイルを読み込めませんでした（ファイルが壊れているか、読み取れない形式です）";
    struct Row {
        const char* name;
        std::function<void()> raise;
        AnalysisError expected;
    };
    const std::vector<Row> rows = {
        {"unsupported",
         [] { throw DocumentTextExtractorError(Case::unsupportedFile); },
         {"対応していないファイル形式です（PDF・JPEG・PNG・HEIC・TIFFに対応）", Kind::unsupportedFile}},
        {"unreadable",
         [] { throw DocumentTextExtractorError(Case::unreadable); },
         {unreadable, Kind::unreadable}},
        {"empty PDF",
         [] { throw DocumentTextExtractorError(Case::emptyPDF); },
         {"PDFにページがありません", Kind::emptyPDF}},
        {"recogniser",
         [] { throw TextRecognizerError("文字認識エンジンを初期化できませんでした（/x）"); },
         {"文字認識エンジンを初期化できませんでした（/x）", Kind::recognizerUnavailable}},
        {"out of memory", [] { throw std::bad_alloc(); }, {unreadable, Kind::unreadable}},
        {"library's English",
         [] { throw std::runtime_error("PNG decoder: bad CRC"); },
         {unreadable, Kind::unreadable}},
        {"not an exception", [] { throw 42; }, {unreadable, Kind::unreadable}},
    };
    for (const auto& row : rows) {
        try {
            row.raise();
        } catch (...) {
            EXPECT_EQ(AnalysisError::fromCurrentException(), row.expected) << row.name;
        }
    }
}

TEST_F(AnalysisServiceTest, ManyRequestsFinishEachExactlyOnceOnABoundedPool) {
    LocalModelServer server;
    server.answerContent(
        R"({"date":"2024-05-01","vendor":"山田商店","totalAmount":1980,"documentType":"領収書","registrationNumber":""})");
    AnalysisService service(configuration(2, server.url()));
    Deliveries deliveries;
    const std::vector<fs::path> files = {dir / "receipt.pdf", dir / "receipt.png", dir / "notes.txt",
                                         dir / "missing.pdf"};
    std::map<AnalysisService::RequestId, fs::path> requested;
    for (int round = 0; round < 4; ++round)
        for (const auto& file : files) requested[service.analyze(file, {}, deliveries.analysis())] = file;
    ASSERT_TRUE(deliveries.waitFor(requested.size()));
    std::this_thread::sleep_for(50ms);  // room for a duplicate delivery to show itself

    const auto order = deliveries.order();
    EXPECT_EQ(order.size(), requested.size());
    std::map<AnalysisService::RequestId, int> seen;
    for (const auto id : order) ++seen[id];
    for (const auto& [id, file] : requested) {
        EXPECT_EQ(seen[id], 1) << file;
        const auto outcome = deliveries.outcome(id);
        if (file.extension() == ".txt") {
            EXPECT_EQ(std::get<AnalysisError>(outcome).kind, AnalysisError::Kind::unsupportedFile);
        } else if (file.filename() == "missing.pdf") {
            EXPECT_EQ(std::get<AnalysisError>(outcome).kind, AnalysisError::Kind::unreadable);
        } else {
            const PipelineResult* result = resultOf(outcome);
            ASSERT_NE(result, nullptr) << file;
            EXPECT_EQ(result->fields.amount, 1980) << file;
            EXPECT_TRUE(result->usedSemantic) << file << ": the configured model is asked";
            EXPECT_EQ(result->fields.documentType, DocumentType::receipt) << file;
        }
    }
    EXPECT_LE(service.startedWorkers(), 2u);
    EXPECT_EQ(service.load(), (AnalysisService::Load{0, 0}));
}

TEST_F(AnalysisServiceTest, CancelledBeforeStartingDeliversNothing) {
    AnalysisService service(configuration(1));
    Deliveries deliveries;
    const auto first = service.analyze(dir / "receipt.png", {}, deliveries.analysis());
    const auto cancelled = service.analyze(dir / "receipt.pdf", {}, deliveries.analysis());
    const auto thumbnail = service.thumbnail(dir / "receipt.png", 64, deliveries.thumbnail());
    service.cancel(cancelled);
    service.cancel(thumbnail);
    const auto last = service.analyze(dir / "receipt.pdf", {}, deliveries.analysis());
    ASSERT_TRUE(deliveries.waitFor(2));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(deliveries.order(), (std::vector<AnalysisService::RequestId>{first, last}));
}

TEST_F(AnalysisServiceTest, CancelledDuringRecognitionDeliversNothingAndFreesItsWorker) {
    AnalysisService service(configuration(1));
    Deliveries deliveries;
    // The worker's engine is initialised by this first reading, so what follows is recognition alone.
    const auto warm = service.analyze(dir / "receipt.pdf", {}, deliveries.analysis());
    ASSERT_TRUE(deliveries.waitFor(1));

    auto start = Clock::now();
    const auto whole = service.analyze(dir / "three-scans.pdf", {}, deliveries.analysis());
    ASSERT_TRUE(deliveries.waitFor(2));
    const auto uncancelled = Clock::now() - start;
    ASSERT_NE(resultOf(deliveries.outcome(whole)), nullptr);

    const auto cancelled = service.analyze(dir / "three-scans.pdf", {}, deliveries.analysis());
    ASSERT_TRUE(eventually([&] { return service.load().running == 1; }));
    start = Clock::now();
    service.cancel(cancelled);
    const auto next = service.analyze(dir / "notes.txt", {}, deliveries.analysis());
    ASSERT_TRUE(deliveries.waitFor(3));
    const auto freed = Clock::now() - start;
    EXPECT_EQ(deliveries.order(), (std::vector<AnalysisService::RequestId>{warm, whole, next}));
    // Reading three scanned pages takes seconds; a cancelled reading lets go within one Tesseract poll.
    EXPECT_LT(freed, uncancelled / 2)
        << "freed after " << std::chrono::duration_cast<std::chrono::milliseconds>(freed).count()
        << " ms; the whole reading took "
        << std::chrono::duration_cast<std::chrono::milliseconds>(uncancelled).count() << " ms";
}

TEST_F(AnalysisServiceTest, CancelledDuringASlowModelCallDoesNotWaitOutTheTimeout) {
    LocalModelServer server;
    server.answerChat(200, LocalModelServer::completion("{}"), LocalModelServer::Chat::hang);
    auto config = configuration(1, server.url());
    config.pipeline.model.timeout = 60s;
    AnalysisService service(config);
    Deliveries deliveries;
    const auto cancelled = service.analyze(dir / "receipt.pdf", {}, deliveries.analysis());
    ASSERT_TRUE(eventually([&] { return server.count("/v1/chat/completions") == 1; }));
    const auto start = Clock::now();
    service.cancel(cancelled);
    const auto next = service.analyze(dir / "notes.txt", {}, deliveries.analysis());
    ASSERT_TRUE(deliveries.waitFor(1));
    EXPECT_LT(Clock::now() - start, 10s) << "the model's 60 s timeout must not be waited out";
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(deliveries.order(), (std::vector<AnalysisService::RequestId>{next}));
}

TEST_F(AnalysisServiceTest, SupersededRequestDeliversOnlyTheNewest) {
    AnalysisService service(configuration(1));
    Deliveries deliveries;
    (void)service.analyze(dir / "receipt.png", {}, deliveries.analysis(), "item-1");
    (void)service.analyze(dir / "receipt.png", {}, deliveries.analysis(), "item-1");
    const auto other = service.analyze(dir / "receipt.pdf", {}, deliveries.analysis(), "item-2");
    const auto newest = service.analyze(dir / "notes.txt", {}, deliveries.analysis(), "item-1");
    ASSERT_TRUE(deliveries.waitFor(2));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(deliveries.order(), (std::vector<AnalysisService::RequestId>{other, newest}));
    EXPECT_EQ(std::get<AnalysisError>(deliveries.outcome(newest)).kind, AnalysisError::Kind::unsupportedFile);
}

TEST_F(AnalysisServiceTest, ThumbnailsWaitForQueuedAnalyses) {
    LocalModelServer server;
    server.answerChat(200, LocalModelServer::completion("{}"), LocalModelServer::Chat::hang);
    AnalysisService service(configuration(1, server.url()));
    Deliveries deliveries;
    // The one worker is held by a model call while the queue fills.
    const auto holding = service.analyze(dir / "receipt.pdf", {}, deliveries.analysis());
    ASSERT_TRUE(eventually([&] { return server.count("/v1/chat/completions") == 1; }));
    const auto thumbnail = service.thumbnail(dir / "receipt.png", 64, deliveries.thumbnail());
    const auto first = service.analyze(dir / "notes.txt", {}, deliveries.analysis());
    const auto second = service.analyze(dir / "missing.pdf", {}, deliveries.analysis());
    service.cancel(holding);
    ASSERT_TRUE(deliveries.waitFor(3));
    EXPECT_EQ(deliveries.order(), (std::vector<AnalysisService::RequestId>{first, second, thumbnail}));
}

TEST_F(AnalysisServiceTest, NothingIsDeliveredAfterTheServiceIsGone) {
    std::atomic<bool> gone{false};
    std::atomic<int> late{0};
    {
        AnalysisService service(configuration(2));
        for (int i = 0; i < 6; ++i)
            service.analyze(dir / (i % 2 ? "receipt.png" : "three-scans.pdf"), {},
                            [&](AnalysisService::RequestId, AnalysisService::Outcome) {
                                if (gone) ++late;
                            });
        ASSERT_TRUE(eventually([&] { return service.load().running > 0; }));
    }
    gone = true;
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(late, 0);
}

}  // namespace
}  // namespace tavori
