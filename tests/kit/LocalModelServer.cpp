#include "LocalModelServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

#include <nlohmann/json.hpp>

namespace tavori::testing {

namespace {

std::string listing(const std::vector<std::string>& models) {
    nlohmann::json data = nlohmann::json::array();
    for (const auto& id : models) data.push_back({{"id", id}, {"object", "model"}, {"owned_by", "llamacpp"}});
    return nlohmann::json{{"object", "list"}, {"data", data}}.dump();
}

int loopbackListener(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) throw std::runtime_error("socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 8) != 0) {
        ::close(fd);
        throw std::runtime_error("bind");
    }
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

}  // namespace

LocalModelServer::LocalModelServer(std::vector<std::string> models) : modelsBody_(listing(models)) {
    chatBody_ = completion("{}");
    server_.Get("/v1/models", [this](const httplib::Request& request, httplib::Response& response) {
        record(request);
        std::lock_guard lock(mutex_);
        response.status = modelsStatus_;
        response.set_content(modelsBody_, "application/json");
    });
    server_.Post("/v1/chat/completions",
                 [this](const httplib::Request& request, httplib::Response& response) {
                     record(request);
                     Chat chat;
                     {
                         std::lock_guard lock(mutex_);
                         chat = chat_;
                         response.status = chatStatus_;
                         response.set_content(chatBody_, "application/json");
                     }
                     if (chat == Chat::hang) {
                         waitReleased(std::chrono::minutes(5));
                     } else if (chat == Chat::trickle) {
                         response.body.clear();
                         response.set_chunked_content_provider(
                             "application/json", [this](std::size_t, httplib::DataSink& sink) {
                                 if (waitReleased(std::chrono::milliseconds(100))) {
                                     sink.done();
                                     return true;
                                 }
                                 return sink.write(" ", 1);
                             });
                     }
                 });
    // Every other request is kept too, and answered as llama-server answers an unknown path.
    const auto unknown = [this](const httplib::Request& request, httplib::Response& response) {
        record(request);
        response.status = 404;
        response.set_content(R"({"error":{"code":404,"message":"File Not Found"}})", "application/json");
    };
    server_.Get(".*", unknown);
    server_.Post(".*", unknown);
    port_ = server_.bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("could not bind a loopback port");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    // stop() does nothing to a server that is not running yet, so a server destroyed at once would never end.
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
    received_.push_back({request.method, request.path, request.body, request.get_header_value("Host")});
}

void LocalModelServer::answerContent(const std::string& content) {
    answerRaw(200, completion(content));
}

void LocalModelServer::answerRaw(int status, std::string body) {
    std::lock_guard lock(mutex_);
    chat_ = Chat::answer;
    chatStatus_ = status;
    chatBody_ = std::move(body);
}

void LocalModelServer::setChat(Chat behaviour) {
    std::lock_guard lock(mutex_);
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
    std::size_t n = 0;
    for (const auto& r : received_) n += r.path == path;
    return n;
}

std::string LocalModelServer::completion(const std::string& content) {
    const nlohmann::json message = {{"role", "assistant"}, {"content", content}};
    const nlohmann::json choice = {{"index", 0}, {"message", message}, {"finish_reason", "stop"}};
    return nlohmann::json{{"id", "chatcmpl-1"},
                          {"object", "chat.completion"},
                          {"created", 1700000000},
                          {"model", "test-model"},
                          {"choices", nlohmann::json::array({choice})},
                          {"usage", {{"prompt_tokens", 10}, {"completion_tokens", 20}, {"total_tokens", 30}}}}
        .dump();
}

ClosingServer::ClosingServer(std::string reply) : reply_(std::move(reply)) {
    listener_ = loopbackListener(port_);
    thread_ = std::thread([this] { serve(); });
}

ClosingServer::~ClosingServer() {
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
}

void ClosingServer::serve() {
    for (;;) {
        const int fd = ::accept(listener_, nullptr, nullptr);
        if (fd < 0) return;
        // Read the request head (and whatever body arrived with it), waiting at most a second.
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 1000) <= 0) break;
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            request.append(buffer, static_cast<std::size_t>(n));
        }
        std::string reply = reply_;
        if (request.starts_with("GET /v1/models")) {
            const std::string body = listing({"test-model"});
            reply = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                    std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
        }
        if (!reply.empty()) ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
    }
}

int unusedPort() {
    int port = 0;
    ::close(loopbackListener(port));
    return port;
}

}  // namespace tavori::testing
