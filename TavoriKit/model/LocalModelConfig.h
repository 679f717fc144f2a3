#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <variant>

#include "TavoriKit/model/SemanticAvailability.h"

namespace tavori {

// Where the local language model server is and how long to wait for it. Nothing here is contacted until the
// URL has been accepted as a loopback address by `LocalEndpoint::parse`.
struct LocalModelConfig {
    std::string url;    // for example "http://127.0.0.1:8080"; empty when no model is configured
    std::string model;  // the model the server should use; empty: the first one the server lists
    std::chrono::milliseconds timeout{60'000};               // one whole request, connecting included
    std::chrono::milliseconds probeTimeout{2'000};           // the availability probe, at most `timeout`
    std::chrono::milliseconds availabilityLifetime{30'000};  // how long a probe's answer is reused

    bool operator==(const LocalModelConfig&) const = default;

    // TAVORI_LLM_URL, TAVORI_LLM_MODEL and TAVORI_LLM_TIMEOUT (whole seconds, 1 to 3600; anything else keeps
    // the default). The one place where these variables are read.
    static LocalModelConfig fromEnvironment();
    static LocalModelConfig fromEnvironment(
        const std::function<std::optional<std::string>(const char*)>& lookup);

    // Why a configured URL will never be contacted, as the user reads it (「TAVORI_LLM_URL「…」は使えません:
    // …」); nothing when no URL is configured or it can be used. Said once by each front end, so that the
    // user knows the model is off.
    std::optional<std::string> refusal() const;
};

std::ostream& operator<<(std::ostream& os, const LocalModelConfig& config);

// The address a model URL leads to. Only numeric loopback addresses are ever connected to, so no name is
// resolved and no request can leave the machine.
struct LocalEndpoint {
    std::string address;     // "127.x.y.z" or "::1"
    int port = 80;           // the URL's port, 80 when it names none
    std::string basePath;    // "" or a path prefix such as "/llm", put before "/v1/..."
    std::string hostHeader;  // the URL's host and port, as sent in the Host header

    bool operator==(const LocalEndpoint&) const = default;

    // The endpoint of an http URL on 127.0.0.0/8, ::1 or localhost (which means 127.0.0.1). A trailing "/v1"
    // is dropped, since both servers document their base URL either way. Otherwise the case that says why the
    // URL cannot be used: `notConfigured` for an empty or unusable URL (another scheme, user information, a
    // query, a bad port or path), `notLocal` for any host outside the loopback range.
    static std::variant<LocalEndpoint, SemanticAvailability> parse(std::string_view url);
};

std::ostream& operator<<(std::ostream& os, const LocalEndpoint& endpoint);

}  // namespace tavori
