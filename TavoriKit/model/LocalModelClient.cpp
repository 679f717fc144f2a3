#include "TavoriKit/model/LocalModelClient.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include <httplib.h>

namespace tavori::LocalModelClient {

namespace {

// The socket timeouts bound each wait for bytes; this bounds the whole exchange, so that a server sending a
// byte now and then cannot hold an analysis either, and ends it early when the analysis is cancelled. It
// stops the client's socket from a second thread, which the client allows while a request is under way.
class Watchdog {
  public:
    Watchdog(httplib::ClientImpl& client, std::chrono::milliseconds timeout, const CancellationToken& cancel,
             bool& expired)
        : thread_([this, &client, timeout, cancel, &expired] {
              const auto deadline = std::chrono::steady_clock::now() + timeout;
              std::unique_lock lock(mutex_);
              while (!done_) {
                  const auto now = std::chrono::steady_clock::now();
                  if (now >= deadline || cancel.isCancelled()) {
                      expired = true;
                      client.stop();
                      return;
                  }
                  finished_.wait_for(lock, std::min<std::chrono::steady_clock::duration>(deadline - now,
                                                                                         cancelPollInterval));
              }
          }) {}
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        finished_.notify_one();
        thread_.join();
    }

  private:
    std::mutex mutex_;
    std::condition_variable finished_;
    bool done_ = false;
    std::thread thread_;
};

std::optional<Reply> exchange(const LocalEndpoint& endpoint, httplib::Request request,
                              std::chrono::milliseconds timeout, const CancellationToken& cancel) {
    if (cancel.isCancelled()) return std::nullopt;
    try {
        httplib::ClientImpl client(endpoint.address, endpoint.port);
        client.set_connection_timeout(timeout);
        client.set_read_timeout(timeout);
        client.set_write_timeout(timeout);
        client.set_keep_alive(false);
        client.set_follow_location(false);

        request.path = endpoint.basePath + request.path;
        request.set_header("Host", endpoint.hostHeader);
        request.set_header("Accept", "application/json");
        request.set_header("Accept-Encoding", "identity");

        std::string body;
        bool tooLarge = false;
        request.content_receiver = [&](const char* data, std::size_t length, std::uint64_t, std::uint64_t) {
            if (body.size() + length > maxReplyBytes) {
                tooLarge = true;
                return false;
            }
            body.append(data, length);
            return true;
        };

        httplib::Response response;
        httplib::Error error = httplib::Error::Success;
        bool sent = false;
        bool expired = false;
        {
            const Watchdog watchdog(client, timeout, cancel, expired);
            sent = client.send(request, response, error);
        }
        if (!sent || expired || tooLarge || error != httplib::Error::Success) return std::nullopt;
        return Reply{response.status, std::move(body)};
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace

std::ostream& operator<<(std::ostream& os, const Reply& reply) {
    return os << "Reply{" << reply.status << " \"" << reply.body << "\"}";
}

std::optional<Reply> get(const LocalEndpoint& endpoint, std::string_view path,
                         std::chrono::milliseconds timeout, const CancellationToken& cancel) {
    httplib::Request request;
    request.method = "GET";
    request.path = std::string(path);
    return exchange(endpoint, std::move(request), timeout, cancel);
}

std::optional<Reply> postJson(const LocalEndpoint& endpoint, std::string_view path, const std::string& body,
                              std::chrono::milliseconds timeout, const CancellationToken& cancel) {
    httplib::Request request;
    request.method = "POST";
    request.path = std::string(path);
    request.body = body;
    request.set_header("Content-Type", "application/json");
    return exchange(endpoint, std::move(request), timeout, cancel);
}

std::optional<std::vector<std::string>> modelIds(std::string_view body) {
    const auto listing = nlohmann::json::parse(body.begin(), body.end(), nullptr, false);
    if (listing.is_discarded() || !listing.is_object()) return std::nullopt;
    const auto data = listing.find("data");
    if (data == listing.end() || !data->is_array()) return std::nullopt;
    std::vector<std::string> ids;
    for (const auto& model : *data) {
        if (!model.is_object()) continue;
        const auto id = model.find("id");
        if (id != model.end() && id->is_string()) ids.push_back(id->get<std::string>());
    }
    return ids;
}

std::optional<std::string> messageContent(std::string_view body) {
    const auto answer = nlohmann::json::parse(body.begin(), body.end(), nullptr, false);
    if (answer.is_discarded() || !answer.is_object()) return std::nullopt;
    const auto choices = answer.find("choices");
    if (choices == answer.end() || !choices->is_array() || choices->empty()) return std::nullopt;
    const auto& choice = choices->front();
    if (!choice.is_object()) return std::nullopt;
    const auto message = choice.find("message");
    if (message == choice.end() || !message->is_object()) return std::nullopt;
    const auto content = message->find("content");
    if (content == message->end() || !content->is_string()) return std::nullopt;
    return content->get<std::string>();
}

}  // namespace tavori::LocalModelClient
