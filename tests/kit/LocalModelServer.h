#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>

namespace tavori::testing {

// A real HTTP server on 127.0.0.1 that answers llama-server's two OpenAI-compatible requests as a test tells
// it to, and keeps every request it received.
class LocalModelServer {
  public:
    struct Received {
        std::string path;
        std::string body;
    };
    // The chat endpoint answers; never answers (until destroyed); sends a byte every 100 ms; or closes the
    // connection in the middle of its answer.
    enum class Chat { answer, hang, trickle, cut };

    explicit LocalModelServer(std::vector<std::string> models = {"test-model"});
    ~LocalModelServer();
    LocalModelServer(const LocalModelServer&) = delete;
    LocalModelServer& operator=(const LocalModelServer&) = delete;

    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }
    int port() const { return port_; }

    void answerContent(const std::string& content) { answerChat(200, completion(content)); }
    void answerChat(int status, std::string body, Chat behaviour = Chat::answer);
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

// The URL of a loopback port on which nothing listens.
std::string unusedUrl();

}  // namespace tavori::testing
