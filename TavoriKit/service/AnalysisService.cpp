#include "TavoriKit/service/AnalysisService.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "TavoriKit/reading/DocumentTextExtractor.h"
#include "TavoriKit/reading/TesseractEngine.h"

namespace tavori {

AnalysisError AnalysisError::fromCurrentException() {
    using Case = DocumentTextExtractorError::Case;
    // Without a reason of its own, the designed sentence with the generic reason.
    const auto unreadable = [] {
        return AnalysisError{DocumentTextExtractorError(Case::unreadable).what(), Kind::unreadable};
    };
    try {
        throw;
    } catch (const DocumentTextExtractorError& e) {
        switch (e.errorCase()) {
            case Case::unsupportedFile:
                return {e.what(), Kind::unsupportedFile};
            case Case::emptyPDF:
                return {e.what(), Kind::emptyPDF};
            case Case::unreadable:
                return {e.what(), Kind::unreadable};  // the designed sentence with the reason in brackets
        }
        return unreadable();
    } catch (const TextRecognizerError& e) {
        return {e.what(), Kind::recognizerUnavailable};  // written in Japanese where it is raised
    } catch (...) {
        return unreadable();  // std::bad_alloc and library exceptions speak English to nobody
    }
}

std::ostream& operator<<(std::ostream& os, const AnalysisError& error) {
    static constexpr const char* kinds[] = {"unsupportedFile", "unreadable", "emptyPDF",
                                            "recognizerUnavailable"};
    return os << "AnalysisError{" << kinds[static_cast<int>(error.kind)] << " \"" << error.message << "\"}";
}

namespace {

struct Job {
    AnalysisService::RequestId id = 0;
    std::filesystem::path path;
    CancellationToken token;
    // An analysis has `options` and `analysisDone`; a thumbnail has `maxPixel` and `thumbnailDone`.
    AnalyzerOptions options;
    AnalysisService::AnalysisCallback analysisDone;
    double maxPixel = 0;
    AnalysisService::ThumbnailCallback thumbnailDone;
    std::string key;
};

}  // namespace

struct AnalysisService::State {
    ReceiptPipeline pipeline;
    std::function<void(RequestId)> onStart;
    std::size_t maxWorkers = 1;

    mutable std::mutex mutex;
    std::condition_variable wake;
    std::deque<Job> analyses;  // taken before any thumbnail
    std::deque<Job> thumbnails;
    struct Live {
        CancellationToken token;
        std::string key;
    };
    std::map<RequestId, Live> live;  // queued or running, not yet delivered
    std::map<std::string, RequestId> latestByKey;
    std::vector<std::thread> threads;
    std::size_t idle = 0;
    std::size_t running = 0;
    RequestId nextId = 1;
    bool stopping = false;

    void cancelLocked(RequestId id) {
        const auto it = live.find(id);
        if (it == live.end()) return;
        it->second.token.cancel();
        forgetKey(it->second.key, id);
        live.erase(it);
        auto dropQueued = [id](std::deque<Job>& queue) {
            std::erase_if(queue, [id](const Job& job) { return job.id == id; });
        };
        dropQueued(analyses);
        dropQueued(thumbnails);
    }

    // Called with the lock held, after a job was queued.
    void startWorkerIfNeeded() {
        if (idle > 0 || threads.size() >= maxWorkers) {
            wake.notify_one();
            return;
        }
        threads.emplace_back([this] { work(); });
    }

    void work() {
        std::unique_lock lock(mutex);
        for (;;) {
            ++idle;
            wake.wait(lock, [this] { return stopping || !analyses.empty() || !thumbnails.empty(); });
            --idle;
            if (stopping) return;
            std::deque<Job>& queue = analyses.empty() ? thumbnails : analyses;
            Job job = std::move(queue.front());
            queue.pop_front();
            ++running;
            lock.unlock();
            run(job);
            lock.lock();
            --running;
        }
    }

    // Runs one job without the lock; delivers only when it is still live, and then it no longer is.
    void run(Job& job) {
        if (onStart) deliver([&] { onStart(job.id); });
        if (job.analysisDone) {
            std::optional<Outcome> outcome;
            try {
                outcome.emplace(pipeline.run(job.path, job.options, job.token));
            } catch (...) {
                outcome.emplace(AnalysisError::fromCurrentException());
            }
            if (claim(job)) deliver([&] { job.analysisDone(job.id, std::move(*outcome)); });
        } else {
            std::optional<RgbImage> image;
            if (!job.token.isCancelled()) {
                try {
                    image = PreviewProvider::thumbnail(job.path, job.maxPixel);
                } catch (...) {
                    image.reset();  // a list without this picture is still a working list
                }
            }
            if (claim(job)) deliver([&] { job.thumbnailDone(job.id, std::move(image)); });
        }
    }

    void forgetKey(const std::string& key, RequestId id) {
        if (key.empty()) return;
        const auto it = latestByKey.find(key);
        if (it != latestByKey.end() && it->second == id) latestByKey.erase(it);
    }

    bool claim(const Job& job) {
        std::lock_guard lock(mutex);
        if (job.token.isCancelled() || !live.contains(job.id)) return false;
        live.erase(job.id);
        forgetKey(job.key, job.id);
        return true;
    }

    void cancelAllLocked() {
        for (auto& [id, request] : live) request.token.cancel();
        live.clear();
        latestByKey.clear();
        analyses.clear();
        thumbnails.clear();
    }

    template <class F>
    static void deliver(F&& callback) {
        try {
            callback();
        } catch (...) {
            // The caller's callback failing must not take a worker, or the process, with it.
        }
    }
};

ReceiptPipeline AnalysisService::defaultPipeline() {
    ReceiptPipeline pipeline;
    pipeline.model = LocalModelConfig::fromEnvironment();
    return pipeline;
}

std::size_t AnalysisService::workerCount() {
    return workerCount(std::getenv("TAVORI_JOBS"), std::thread::hardware_concurrency());
}

std::size_t AnalysisService::workerCount(const char* jobs, unsigned hardwareThreads) {
    if (jobs != nullptr) {
        char* end = nullptr;
        errno = 0;
        const long long n = std::strtoll(jobs, &end, 10);
        if (end != jobs && *end == '\0' && errno == 0 && n > 0)
            return static_cast<std::size_t>(std::min<long long>(n, kMaxWorkers));
    }
    return std::max(1u, hardwareThreads);
}

AnalysisService::AnalysisService() : AnalysisService(Configuration{}) {}

AnalysisService::AnalysisService(Configuration configuration) : state_(std::make_unique<State>()) {
    state_->pipeline = std::move(configuration.pipeline);
    state_->onStart = std::move(configuration.onStart);
    state_->maxWorkers = std::clamp<std::size_t>(
        configuration.workers == 0 ? workerCount() : configuration.workers, 1, kMaxWorkers);
}

AnalysisService::~AnalysisService() {
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(state_->mutex);
        state_->cancelAllLocked();
        state_->stopping = true;
        threads = std::move(state_->threads);
    }
    state_->wake.notify_all();
    for (auto& thread : threads) thread.join();
}

AnalysisService::RequestId AnalysisService::analyze(const std::filesystem::path& path,
                                                    const AnalyzerOptions& options, AnalysisCallback done,
                                                    const std::string& key) {
    std::lock_guard lock(state_->mutex);
    const RequestId id = state_->nextId++;
    if (!key.empty()) {
        const auto it = state_->latestByKey.find(key);
        if (it != state_->latestByKey.end()) state_->cancelLocked(it->second);
        state_->latestByKey[key] = id;
    }
    Job job;
    job.id = id;
    job.path = path;
    job.options = options;
    job.analysisDone = std::move(done);
    job.key = key;
    state_->live.emplace(id, State::Live{job.token, key});
    state_->analyses.push_back(std::move(job));
    state_->startWorkerIfNeeded();
    return id;
}

AnalysisService::RequestId AnalysisService::thumbnail(const std::filesystem::path& path, double maxPixel,
                                                      ThumbnailCallback done) {
    std::lock_guard lock(state_->mutex);
    const RequestId id = state_->nextId++;
    Job job;
    job.id = id;
    job.path = path;
    job.maxPixel = maxPixel;
    job.thumbnailDone = std::move(done);
    state_->live.emplace(id, State::Live{job.token, {}});
    state_->thumbnails.push_back(std::move(job));
    state_->startWorkerIfNeeded();
    return id;
}

void AnalysisService::cancel(RequestId id) {
    std::lock_guard lock(state_->mutex);
    state_->cancelLocked(id);
}

void AnalysisService::cancelAll() {
    std::lock_guard lock(state_->mutex);
    state_->cancelAllLocked();
}

AnalysisService::Load AnalysisService::load() const {
    std::lock_guard lock(state_->mutex);
    return {state_->analyses.size() + state_->thumbnails.size(), state_->running};
}

std::size_t AnalysisService::maxWorkers() const {
    return state_->maxWorkers;
}

std::size_t AnalysisService::startedWorkers() const {
    std::lock_guard lock(state_->mutex);
    return state_->threads.size();
}

}  // namespace tavori
