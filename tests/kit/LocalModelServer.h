#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>

namespace tavori::testing {

// A real HTTP server on 127.0.0.1 that answers the two requests of llama-server's OpenAI-compatible API the
// way a test tells it to, and keeps every request it received.
class LocalModelServer {
  public:
    struct Received {
        std::string method;
        std::string path;
        std::string body;
        std::string host;  // the Host header
    };

    // What the chat endpoint does.
    enum class Chat { answer, hang, trickle };

    explicit LocalModelServer(std::vector<std::string> models = {"test-model"});
    ~LocalModelServer();
    LocalModelServer(const LocalModelServer&) = delete;
    LocalModelServer& operator=(const LocalModelServer&) = delete;

    int port() const { return port_; }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }

    // A 200 chat completion whose first choice's message content is `content`.
    void answerContent(const std::string& content);
    // Any status and body for the chat endpoint, sent as they are.
    void answerRaw(int status, std::string body);
    // The chat endpoint never answers (until the server is destroyed), or answers one byte every 100 ms.
    void setChat(Chat behaviour);
    // Status and body of GET /v1/models; the default lists the constructor's models.
    void answerModels(int status, std::string body);

    std::vector<Received> received() const;
    std::size_t count(const std::string& path) const;

    // A chat-completion body as llama-server writes it.
    static std::string completion(const std::string& content);

  private:
    void record(const httplib::Request& request);
    bool waitReleased(std::chrono::milliseconds interval);

    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;

    mutable std::mutex mutex_;
    std::condition_variable released_;
    bool stopping_ = false;
    std::vector<Received> received_;
    Chat chat_ = Chat::answer;
    int chatStatus_ = 200;
    std::string chatBody_;
    int modelsStatus_ = 200;
    std::string modelsBody_;
};

// A TCP server on 127.0.0.1 that answers GET /v1/models with a listing of "test-model" and answers any other
// request with `reply` (possibly nothing, or a cut-off response) before closing the connection.
class ClosingServer {
  public:
    explicit ClosingServer(std::string reply);
    ~ClosingServer();
    ClosingServer(const ClosingServer&) = delete;
    ClosingServer& operator=(const ClosingServer&) = delete;

    int port() const { return port_; }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }

  private:
    void serve();

    std::string reply_;
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
};

// A loopback port on which nothing listens (it was bound and released).
int unusedPort();

}  // namespace tavori::testing
