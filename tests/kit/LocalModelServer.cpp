#include "LocalModelServer.h"

#include <stdexcept>

#include <nlohmann/json.hpp>

namespace tavori::testing {

LocalModelServer::LocalModelServer(std::vector<std::string> models) {
    nlohmann::json data = nlohmann::json::array();
    for (const auto& id : models) data.push_back({{"id", id}, {"object", "model"}});
    modelsBody_ = nlohmann::json{{"object", "list"}, {"data", data}}.dump();
    chatBody_ = completion("{}");
    server_.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        record(request);
        std::lock_guard lock(mutex_);
        response.status = request.path == "/v1/models" ? modelsStatus_ : 404;
        response.set_content(response.status == 404 ? "{}" : modelsBody_, "application/json");
    });
    server_.Post("/v1/chat/completions",
                 [this](const httplib::Request& request, httplib::Response& response) {
                     record(request);
                     std::unique_lock lock(mutex_);
                     response.status = chatStatus_;
                     const std::string body = chatBody_;
                     switch (chat_) {
                         case Chat::answer:
                             response.set_content(body, "application/json");
                             break;
                         case Chat::hang:
                             released_.wait_for(lock, std::chrono::minutes(5), [this] { return stopping_; });
                             break;
                         case Chat::trickle:
                             response.set_chunked_content_provider(
                                 "application/json", [this](std::size_t, httplib::DataSink& sink) {
                                     if (waitReleased(std::chrono::milliseconds(100))) return false;
                                     return sink.write(" ", 1);
                                 });
                             break;
                         case Chat::cut:
                             // Half the answer, then the provider fails and the server drops the connection.
                             response.set_content_provider(
                                 body.size(), "application/json",
                                 [body](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                     if (offset > 0) return false;
                                     return sink.write(body.data(), body.size() / 2);
                                 });
                             break;
                     }
                 });
    port_ = server_.bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("could not bind a loopback port");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    // stop() does nothing to a server that is not running yet, so one destroyed at once would never end.
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

LocalModelServer::~LocalModelServer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    released_.notify_all();
    server_.stop();
    thread_.join();
}

bool LocalModelServer::waitReleased(std::chrono::milliseconds interval) {
    std::unique_lock lock(mutex_);
    return released_.wait_for(lock, interval, [this] { return stopping_; });
}

void LocalModelServer::record(const httplib::Request& request) {
    std::lock_guard lock(mutex_);
    received_.push_back({request.path, request.body});
}

void LocalModelServer::answerChat(int status, std::string body, Chat behaviour) {
    std::lock_guard lock(mutex_);
    chatStatus_ = status;
    chatBody_ = std::move(body);
    chat_ = behaviour;
}

void LocalModelServer::answerModels(int status, std::string body) {
    std::lock_guard lock(mutex_);
    modelsStatus_ = status;
    modelsBody_ = std::move(body);
}

std::vector<LocalModelServer::Received> LocalModelServer::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

std::size_t LocalModelServer::count(const std::string& path) const {
    std::lock_guard lock(mutex_);
    return std::count_if(received_.begin(), received_.end(),
                         [&](const Received& r) { return r.path == path; });
}

std::string LocalModelServer::completion(const std::string& content) {
    const nlohmann::json choice = {
        {"index", 0}, {"message", {{"role", "assistant"}, {"content", content}}}, {"finish_reason", "stop"}};
    return nlohmann::json{
        {"object", "chat.completion"}, {"model", "test-model"}, {"choices", nlohmann::json::array({choice})}}
        .dump();
}

std::string unusedUrl() {
    // The port is free again once its server is gone.
    return LocalModelServer().url();
}

}  // namespace tavori::testing
