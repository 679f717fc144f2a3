#include "TavoriKit/AnalysisService.h"

#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "TavoriKit/LocalModelConfig.h"

namespace tavori {

namespace {

struct Request {
    AnalysisService::RequestId id = 0;
    std::filesystem::path path;
    AnalyzerOptions options;
    AnalysisService::AnalysisCallback analysisDone;
    double maxPixel = 0;
    AnalysisService::ThumbnailCallback thumbnailDone;
    std::string key;
    CancellationToken cancel;
};

}  // namespace

struct AnalysisService::State {
    ReceiptPipeline pipeline;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Request> analyses;
    std::deque<Request> thumbnails;
    std::map<RequestId, CancellationToken> live;
    std::map<std::string, RequestId> byKey;
    RequestId nextId = 1;
    bool stopping = false;
    std::vector<std::thread> workers;

    void run() {
        for (;;) {
            Request request;
            {
                std::unique_lock lock(mutex);
                wake.wait(lock, [&] { return stopping || !analyses.empty() || !thumbnails.empty(); });
                if (stopping) return;
                auto& queue = analyses.empty() ? thumbnails : analyses;
                request = std::move(queue.front());
                queue.pop_front();
                if (request.cancel.isCancelled()) continue;
            }
            if (request.analysisDone) {
                Outcome outcome;
                try {
                    outcome = pipeline.run(request.path, request.options, request.cancel);
                } catch (const std::exception& e) {
                    outcome = AnalysisError{e.what()};
                }
                deliver(request, [&] { request.analysisDone(request.id, std::move(outcome)); });
            } else {
                auto image = PreviewProvider::thumbnail(request.path, request.maxPixel);
                deliver(request, [&] { request.thumbnailDone(request.id, std::move(image)); });
            }
        }
    }

    // The callback runs under the lock, so that cancel() and the destructor never race a delivery.
    template <class F>
    void deliver(const Request& request, F&& callback) {
        std::lock_guard lock(mutex);
        const bool wanted = !request.cancel.isCancelled() && !stopping;
        live.erase(request.id);
        if (!request.key.empty()) {
            auto it = byKey.find(request.key);
            if (it != byKey.end() && it->second == request.id) byKey.erase(it);
        }
        if (wanted) callback();
    }
};

ReceiptPipeline AnalysisService::defaultPipeline() {
    ReceiptPipeline pipeline;
    pipeline.model = LocalModelConfig::fromEnvironment();
    return pipeline;
}

std::size_t AnalysisService::workerCount() {
    if (const char* jobs = std::getenv("TAVORI_JOBS")) {
        const long n = std::strtol(jobs, nullptr, 10);
        if (n > 0) return static_cast<std::size_t>(n);
    }
    const unsigned hardware = std::thread::hardware_concurrency();
    return hardware > 0 ? hardware : 1;
}

AnalysisService::AnalysisService() : AnalysisService(Configuration{}) {}

AnalysisService::AnalysisService(Configuration configuration) : state_(std::make_unique<State>()) {
    state_->pipeline = std::move(configuration.pipeline);
    const std::size_t workers = configuration.workers > 0 ? configuration.workers : workerCount();
    for (std::size_t i = 0; i < workers; ++i) state_->workers.emplace_back([this] { state_->run(); });
}

AnalysisService::~AnalysisService() {
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
        for (auto& [id, token] : state_->live) token.cancel();
    }
    state_->wake.notify_all();
    for (auto& worker : state_->workers) worker.join();
}

AnalysisService::RequestId AnalysisService::analyze(const std::filesystem::path& path,
                                                    const AnalyzerOptions& options, AnalysisCallback done,
                                                    const std::string& key) {
    std::lock_guard lock(state_->mutex);
    Request request;
    request.id = state_->nextId++;
    request.path = path;
    request.options = options;
    request.analysisDone = std::move(done);
    request.key = key;
    if (!key.empty()) {
        auto it = state_->byKey.find(key);
        if (it != state_->byKey.end()) {
            auto live = state_->live.find(it->second);
            if (live != state_->live.end()) live->second.cancel();
        }
        state_->byKey[key] = request.id;
    }
    state_->live[request.id] = request.cancel;
    const RequestId id = request.id;
    state_->analyses.push_back(std::move(request));
    state_->wake.notify_one();
    return id;
}

AnalysisService::RequestId AnalysisService::thumbnail(const std::filesystem::path& path, double maxPixel,
                                                      ThumbnailCallback done) {
    std::lock_guard lock(state_->mutex);
    Request request;
    request.id = state_->nextId++;
    request.path = path;
    request.maxPixel = maxPixel;
    request.thumbnailDone = std::move(done);
    state_->live[request.id] = request.cancel;
    const RequestId id = request.id;
    state_->thumbnails.push_back(std::move(request));
    state_->wake.notify_one();
    return id;
}

void AnalysisService::cancel(RequestId id) {
    std::lock_guard lock(state_->mutex);
    auto it = state_->live.find(id);
    if (it != state_->live.end()) it->second.cancel();
}

void AnalysisService::cancelAll() {
    std::lock_guard lock(state_->mutex);
    for (auto& [id, token] : state_->live) token.cancel();
}

}  // namespace tavori
