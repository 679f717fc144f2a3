#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <variant>

#include "TavoriCore/AnalyzerOptions.h"
#include "TavoriKit/reading/PreviewProvider.h"
#include "TavoriKit/service/ReceiptPipeline.h"

namespace tavori {

// Why a document gave no fields: the Japanese sentence the user sees (never a library's English text).
struct AnalysisError {
    // What went wrong; anything unexpected (memory exhausted, a library's exception) counts as unreadable.
    enum class Kind { unsupportedFile, unreadable, emptyPDF, recognizerUnavailable };

    std::string message;
    Kind kind = Kind::unreadable;
    bool operator==(const AnalysisError&) const = default;

    // The error for whatever reading a file threw; call it inside a catch block.
    static AnalysisError fromCurrentException();
};

std::ostream& operator<<(std::ostream& os, const AnalysisError& error);

// The one road from a file to a PipelineResult for every front end: a bounded pool of workers, each with its
// own recogniser, created lazily and reused. Callbacks run on a worker thread; a caller that needs them
// elsewhere (the window's GUI thread) posts them on. A cancelled or superseded request delivers nothing.
class AnalysisService {
  public:
    using RequestId = std::uint64_t;
    using Outcome = std::variant<PipelineResult, AnalysisError>;
    using AnalysisCallback = std::function<void(RequestId, Outcome)>;
    using ThumbnailCallback = std::function<void(RequestId, std::optional<RgbImage>)>;

    struct Configuration {
        std::size_t workers = 0;  // 0: workerCount()
        // The application's reading: three pages at 2.5 pixels per point, the local model from the
        // environment when it is configured.
        ReceiptPipeline pipeline = defaultPipeline();
        // Runs on the worker as it begins a request (an analysis or a thumbnail), before any reading.
        std::function<void(RequestId)> onStart;
    };

    static ReceiptPipeline defaultPipeline();
    // TAVORI_JOBS when it is a positive number, otherwise one worker per hardware thread.
    static std::size_t workerCount();
    // `jobs` when it is a whole positive number (at most kMaxWorkers), otherwise `hardwareThreads` (at least
    // one).
    static std::size_t workerCount(const char* jobs, unsigned hardwareThreads);
    static constexpr std::size_t kMaxWorkers = 256;

    // The default configuration (a default argument cannot name it inside the class).
    AnalysisService();
    explicit AnalysisService(Configuration configuration);
    // Cancels what is queued or running and joins the workers; no callback runs after it returns.
    ~AnalysisService();
    AnalysisService(const AnalysisService&) = delete;
    AnalysisService& operator=(const AnalysisService&) = delete;

    // Queues one analysis; `done` runs exactly once unless the request is cancelled or superseded. With a
    // non-empty `key`, an earlier request with the same key that has not delivered yet is superseded.
    RequestId analyze(const std::filesystem::path& path, const AnalyzerOptions& options,
                      AnalysisCallback done, const std::string& key = {});
    // A thumbnail at lower priority than every queued analysis.
    RequestId thumbnail(const std::filesystem::path& path, double maxPixel, ThumbnailCallback done);

    void cancel(RequestId id);
    void cancelAll();

    // Requests waiting and being worked on now (a cancelled one counts until its worker lets go of it).
    struct Load {
        std::size_t queued = 0;
        std::size_t running = 0;
        bool operator==(const Load&) const = default;
    };
    Load load() const;

    // The configured number of workers, and how many threads have been started so far.
    std::size_t maxWorkers() const;
    std::size_t startedWorkers() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace tavori
