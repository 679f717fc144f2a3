#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <variant>

#include "LocalModelServer.h"
#include "TavoriKit/LocalModelClient.h"

namespace tavori {
namespace {

using namespace std::chrono_literals;
using testing::ClosingServer;
using testing::LocalModelServer;

LocalEndpoint endpointOf(const std::string& url) {
    return std::get<LocalEndpoint>(LocalEndpoint::parse(url));
}

TEST(LocalModelClient, ExchangesWithARealServer) {
    LocalModelServer server({"a", "b"});
    const auto models = LocalModelClient::get(endpointOf(server.url()), "/v1/models", 5s);
    ASSERT_TRUE(models);
    EXPECT_EQ(models->status, 200);
    EXPECT_EQ(LocalModelClient::modelIds(models->body), (std::vector<std::string>{"a", "b"}));

    server.answerRaw(503, R"({"error":{"code":503,"message":"Loading model"}})");
    const auto chat =
        LocalModelClient::postJson(endpointOf(server.url() + "/v1"), "/v1/chat/completions", "{}", 5s);
    ASSERT_TRUE(chat) << "an HTTP error is still an answer";
    EXPECT_EQ(chat->status, 503);

    const auto received = server.received();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[1].method, "POST");
    EXPECT_EQ(received[1].path, "/v1/chat/completions") << "the /v1 of the URL is not doubled";
    EXPECT_EQ(received[1].body, "{}");
    EXPECT_EQ(received[1].host, "127.0.0.1:" + std::to_string(server.port()));
}

TEST(LocalModelClient, BasePathIsPutBeforeTheApiPath) {
    LocalModelServer server;
    const auto reply = LocalModelClient::get(endpointOf(server.url() + "/prefix/v1/"), "/v1/models", 5s);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 404);
    ASSERT_EQ(server.received().size(), 1u);
    EXPECT_EQ(server.received()[0].path, "/prefix/v1/models");
}

TEST(LocalModelClient, NoCompleteAnswerGivesNoReply) {
    struct Case {
        const char* name;
        std::string reply;
    };
    const std::vector<Case> cases = {
        {"closed without a byte", ""},
        {"closed inside the status line", "HTTP/1.1 20"},
        {"closed inside the headers", "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Le"},
        {"closed inside the body",
         "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 500\r\n\r\n{\"choices\":["},
        {"closed inside a chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n40\r\n{\"choices\":"},
        {"not HTTP at all", "SSH-2.0-OpenSSH_9.2\r\n"},
    };
    for (const auto& c : cases) {
        ClosingServer server(c.reply);
        EXPECT_FALSE(LocalModelClient::postJson(endpointOf(server.url()), "/v1/chat/completions", "{}", 5s))
            << c.name;
    }
}

TEST(LocalModelClient, NothingListeningGivesNoReply) {
    const std::string url = "http://127.0.0.1:" + std::to_string(testing::unusedPort());
    EXPECT_FALSE(LocalModelClient::get(endpointOf(url), "/v1/models", 2s));
}

TEST(LocalModelClient, OversizedAnswerIsDropped) {
    LocalModelServer server;
    server.answerRaw(200, std::string(LocalModelClient::maxReplyBytes + 1, ' '));
    EXPECT_FALSE(LocalModelClient::postJson(endpointOf(server.url()), "/v1/chat/completions", "{}", 5s));
    server.answerRaw(200, std::string(LocalModelClient::maxReplyBytes, ' '));
    EXPECT_TRUE(LocalModelClient::postJson(endpointOf(server.url()), "/v1/chat/completions", "{}", 5s));
}

// The timeout bounds the whole exchange: a server that never answers and one that sends a byte every 100 ms
// are both cut off after about a second, long before they would finish.
TEST(LocalModelClient, TimeoutBoundsTheWholeExchange) {
    for (const auto behaviour : {LocalModelServer::Chat::hang, LocalModelServer::Chat::trickle}) {
        const char* name = behaviour == LocalModelServer::Chat::hang ? "hanging server" : "trickling server";
        LocalModelServer server;
        server.setChat(behaviour);
        const auto start = std::chrono::steady_clock::now();
        const auto reply =
            LocalModelClient::postJson(endpointOf(server.url()), "/v1/chat/completions", "{}", 1s);
        const auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_FALSE(reply) << name;
        EXPECT_GE(elapsed, 900ms) << name;
        EXPECT_LT(elapsed, 10s) << name;
    }
}

TEST(LocalModelClient, ReadsModelListsAndMessageContent) {
    using Ids = std::optional<std::vector<std::string>>;
    struct IdCase {
        const char* body;
        Ids expected;
    };
    const std::vector<IdCase> idCases = {
        {R"({"object":"list","data":[{"id":"m1"},{"id":"m2:latest"}]})", Ids({"m1", "m2:latest"})},
        {R"({"data":[]})", Ids(std::vector<std::string>{})},
        {R"({"data":[{"id":7},"x",{"name":"m"},{"id":"ok"}]})", Ids({"ok"})},
        {R"({"models":[{"id":"m"}]})", std::nullopt},
        {R"({"data":{"id":"m"}})", std::nullopt},
        {R"([{"id":"m"}])", std::nullopt},
        {"not json", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : idCases) EXPECT_EQ(LocalModelClient::modelIds(c.body), c.expected) << c.body;

    struct ContentCase {
        const char* body;
        std::optional<std::string> expected;
    };
    const std::vector<ContentCase> contentCases = {
        {R"({"choices":[{"message":{"role":"assistant","content":"{\"a\":1}"}}]})", "{\"a\":1}"},
        {R"({"choices":[{"message":{"content":"first"}},{"message":{"content":"second"}}]})", "first"},
        {R"({"choices":[{"message":{"content":""}}]})", ""},
        {R"({"choices":[{"message":{"content":null,"reasoning_content":"x"}}]})", std::nullopt},
        {R"({"choices":[{"message":{"content":{"a":1}}}]})", std::nullopt},
        {R"({"choices":[{"text":"x"}]})", std::nullopt},
        {R"({"choices":[]})", std::nullopt},
        {R"({"choices":"x"})", std::nullopt},
        {R"({"error":{"message":"boom"}})", std::nullopt},
        {R"({"choices":[{"message":{"content":"x"}}])", std::nullopt},
    };
    for (const auto& c : contentCases)
        EXPECT_EQ(LocalModelClient::messageContent(c.body), c.expected) << c.body;
}

}  // namespace
}  // namespace tavori
