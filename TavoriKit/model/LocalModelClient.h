#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "TavoriKit/base/CancellationToken.h"
#include "TavoriKit/model/LocalModelConfig.h"

// The two requests of the OpenAI-compatible API that llama.cpp's llama-server and Ollama serve. Every request
// is bounded by its timeout as a whole (a server that answers slowly is cut off like one that never answers)
// and by a size limit on the answer. Nothing here throws.
namespace tavori::LocalModelClient {

// An answer of the server, whatever its status.
struct Reply {
    int status = 0;
    std::string body;

    bool operator==(const Reply&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Reply& reply);

// Answers larger than this are dropped: a completion of a few hundred tokens is a few kilobytes.
inline constexpr std::size_t maxReplyBytes = 1 << 20;

// How often a waiting request looks at its cancellation token.
inline constexpr std::chrono::milliseconds cancelPollInterval{50};

// One exchange with the server at `endpoint`; no value when there was no complete answer in time (refused,
// closed, timed out, too large) or `cancel` fired first, which stops the exchange within cancelPollInterval.
std::optional<Reply> get(const LocalEndpoint& endpoint, std::string_view path,
                         std::chrono::milliseconds timeout, const CancellationToken& cancel = {});
std::optional<Reply> postJson(const LocalEndpoint& endpoint, std::string_view path, const std::string& body,
                              std::chrono::milliseconds timeout, const CancellationToken& cancel = {});

// The model ids of a GET /v1/models answer ({"data": [{"id": ...}, ...]}); no value when it is not one.
std::optional<std::vector<std::string>> modelIds(std::string_view body);

// The first choice's message content of a chat-completion answer; no value when it has none or is not one.
std::optional<std::string> messageContent(std::string_view body);

}  // namespace tavori::LocalModelClient
