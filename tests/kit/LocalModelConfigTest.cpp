#include <gtest/gtest.h>

#include <map>
#include <string>
#include <variant>

#include "TavoriKit/LocalModelConfig.h"

namespace tavori {
namespace {

TEST(LocalEndpoint, AcceptsOnlyLoopbackHttpUrls) {
    struct Case {
        const char* url;
        std::string address;  // empty when refused
        int port;
        std::string basePath;
        std::string host;
    };
    const std::vector<Case> cases = {
        {"http://127.0.0.1:8080", "127.0.0.1", 8080, "", "127.0.0.1:8080"},
        {"  http://127.0.0.1:8080/  ", "127.0.0.1", 8080, "", "127.0.0.1:8080"},
        {"http://127.0.0.1:8080/v1", "127.0.0.1", 8080, "", "127.0.0.1:8080"},
        {"http://127.0.0.1:8080/v1/", "127.0.0.1", 8080, "", "127.0.0.1:8080"},
        {"http://127.0.0.1:8080/llm/v1", "127.0.0.1", 8080, "/llm", "127.0.0.1:8080"},
        {"http://127.0.0.1:8080/v10", "127.0.0.1", 8080, "/v10", "127.0.0.1:8080"},
        {"http://127.0.0.1", "127.0.0.1", 80, "", "127.0.0.1:80"},
        {"http://127.0.0.1:/", "127.0.0.1", 80, "", "127.0.0.1:80"},
        {"http://127.255.3.4:11434", "127.255.3.4", 11434, "", "127.255.3.4:11434"},
        {"http://localhost:11434", "127.0.0.1", 11434, "", "localhost:11434"},
        {"HTTP://LocalHost:11434", "127.0.0.1", 11434, "", "localhost:11434"},
        {"http://localhost.:11434", "127.0.0.1", 11434, "", "localhost.:11434"},
        {"http://[::1]:8080", "::1", 8080, "", "[::1]:8080"},
        {"http://[0:0:0:0:0:0:0:1]:8080", "::1", 8080, "", "[0:0:0:0:0:0:0:1]:8080"},
    };
    for (const auto& c : cases) {
        const auto parsed = LocalEndpoint::parse(c.url);
        ASSERT_TRUE(std::holds_alternative<LocalEndpoint>(parsed)) << c.url << ": " << std::get<1>(parsed);
        const auto& endpoint = std::get<LocalEndpoint>(parsed);
        EXPECT_EQ(endpoint, (LocalEndpoint{c.address, c.port, c.basePath, c.host})) << c.url;
    }
}

TEST(LocalEndpoint, RefusesEverythingElse) {
    using A = SemanticAvailability;
    struct Case {
        const char* url;
        A expected;
    };
    const std::vector<Case> cases = {
        {"", A::notConfigured},
        {"   ", A::notConfigured},
        {"127.0.0.1:8080", A::notConfigured},
        {"://127.0.0.1", A::notConfigured},
        {"http://", A::notConfigured},
        {"http://:8080", A::notConfigured},
        {"ftp://127.0.0.1", A::notConfigured},
        {"https://127.0.0.1:8443", A::notConfigured},
        {"http://127.0.0.1:0", A::notConfigured},
        {"http://127.0.0.1:65536", A::notConfigured},
        {"http://127.0.0.1:80a", A::notConfigured},
        {"http://127.0.0.1:8080?x=1", A::notConfigured},
        {"http://127.0.0.1:8080/#top", A::notConfigured},
        {"http://127.0.0.1:8080/a b", A::notConfigured},
        {"http://127.0.0.1:8080/a\r\nX-Injected: 1", A::notConfigured},
        {"http://user@127.0.0.1:8080", A::notConfigured},
        {"http://example.com@127.0.0.1", A::notConfigured},
        {"http://[::1", A::notConfigured},
        {"http://[::1]x", A::notConfigured},
        {"http://example.com", A::notLocal},
        {"https://api.example.com/v1", A::notLocal},
        {"http://192.168.1.10:8080", A::notLocal},
        {"http://10.0.0.1:8080", A::notLocal},
        {"http://0.0.0.0:8080", A::notLocal},
        {"http://128.0.0.1", A::notLocal},
        {"http://127.1", A::notLocal},
        {"http://0x7f.0.0.1", A::notLocal},
        {"http://2130706433", A::notLocal},
        {"http://127.0.0.1.example.com", A::notLocal},
        {"http://localhost.example.com", A::notLocal},
        {"http://mylocalhost", A::notLocal},
        {"http://[::2]:8080", A::notLocal},
        {"http://[::ffff:127.0.0.1]:8080", A::notLocal},
        {"http://[::1%25lo]:8080", A::notLocal},
        {"http://[fe80::1]", A::notLocal},
    };
    for (const auto& c : cases) {
        const auto parsed = LocalEndpoint::parse(c.url);
        ASSERT_TRUE(std::holds_alternative<SemanticAvailability>(parsed))
            << c.url << " was accepted as " << std::get<LocalEndpoint>(parsed);
        EXPECT_EQ(std::get<SemanticAvailability>(parsed), c.expected) << c.url;
    }
}

TEST(LocalModelConfig, FromEnvironment) {
    struct Case {
        const char* name;
        std::map<std::string, std::string> variables;
        LocalModelConfig expected;
    };
    auto with = [](std::string url, std::string model, int timeoutSeconds) {
        LocalModelConfig c;
        c.url = std::move(url);
        c.model = std::move(model);
        c.timeout = std::chrono::seconds(timeoutSeconds);
        return c;
    };
    const std::vector<Case> cases = {
        {"nothing set", {}, with("", "", 60)},
        {"url and model, trimmed",
         {{"TAVORI_LLM_URL", " http://127.0.0.1:8080 "}, {"TAVORI_LLM_MODEL", "qwen2.5:3b\t"}},
         with("http://127.0.0.1:8080", "qwen2.5:3b", 60)},
        {"timeout in seconds", {{"TAVORI_LLM_TIMEOUT", "15"}}, with("", "", 15)},
        {"largest timeout", {{"TAVORI_LLM_TIMEOUT", "3600"}}, with("", "", 3600)},
        {"zero keeps the default", {{"TAVORI_LLM_TIMEOUT", "0"}}, with("", "", 60)},
        {"too large keeps the default", {{"TAVORI_LLM_TIMEOUT", "3601"}}, with("", "", 60)},
        {"negative keeps the default", {{"TAVORI_LLM_TIMEOUT", "-5"}}, with("", "", 60)},
        {"trailing text keeps the default", {{"TAVORI_LLM_TIMEOUT", "15s"}}, with("", "", 60)},
        {"huge number keeps the default", {{"TAVORI_LLM_TIMEOUT", "99999999999999999999"}}, with("", "", 60)},
        {"empty keeps the default", {{"TAVORI_LLM_TIMEOUT", ""}}, with("", "", 60)},
    };
    for (const auto& c : cases) {
        const auto config =
            LocalModelConfig::fromEnvironment([&](const char* name) -> std::optional<std::string> {
                const auto it = c.variables.find(name);
                if (it == c.variables.end()) return std::nullopt;
                return it->second;
            });
        EXPECT_EQ(config, c.expected) << c.name;
    }
}

}  // namespace
}  // namespace tavori
