#include "TavoriKit/model/LocalModelConfig.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include "TavoriCore/Unicode.h"

namespace tavori {

namespace {

std::string asciiLowercased(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// Characters a path may hold without escaping (RFC 3986 pchar and "/"); anything else, spaces and line breaks
// above all, could change the request line.
bool isPathCharacter(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return std::strchr("-._~!$&'()*+,;=:@/%", c) != nullptr && c != '\0';
}

std::optional<int> portNumber(std::string_view digits) {
    if (digits.empty()) return 80;
    if (digits.size() > 5 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    int port = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), port);
    if (port < 1 || port > 65535) return std::nullopt;
    return port;
}

// The numeric loopback address `host` stands for, or nothing when it is not on this machine's loopback.
std::optional<std::string> loopbackAddress(const std::string& host, bool bracketed) {
    if (bracketed) {
        in6_addr address{};
        if (inet_pton(AF_INET6, host.c_str(), &address) != 1) return std::nullopt;
        if (std::memcmp(&address, &in6addr_loopback, sizeof address) != 0) return std::nullopt;
        return std::string("::1");
    }
    if (host == "localhost" || host == "localhost.") return std::string("127.0.0.1");
    in_addr address{};
    // inet_pton accepts only the dotted-quad form, so "127.1" or "0x7f.0.0.1" are not loopback here.
    if (inet_pton(AF_INET, host.c_str(), &address) != 1) return std::nullopt;
    if ((ntohl(address.s_addr) >> 24) != 127) return std::nullopt;
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return std::string(text);
}

std::optional<std::chrono::milliseconds> timeoutSeconds(const std::optional<std::string>& value) {
    if (!value || value->empty() || value->size() > 4) return std::nullopt;
    int seconds = 0;
    const auto [end, error] = std::from_chars(value->data(), value->data() + value->size(), seconds);
    if (error != std::errc() || end != value->data() + value->size() || seconds < 1 || seconds > 3600)
        return std::nullopt;
    return std::chrono::milliseconds(seconds * 1000);
}

}  // namespace

LocalModelConfig LocalModelConfig::fromEnvironment() {
    return fromEnvironment([](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        if (value == nullptr) return std::nullopt;
        return std::string(value);
    });
}

LocalModelConfig LocalModelConfig::fromEnvironment(
    const std::function<std::optional<std::string>(const char*)>& lookup) {
    LocalModelConfig config;
    config.url = Unicode::trim(lookup("TAVORI_LLM_URL").value_or(""));
    config.model = Unicode::trim(lookup("TAVORI_LLM_MODEL").value_or(""));
    if (const auto timeout = timeoutSeconds(lookup("TAVORI_LLM_TIMEOUT"))) config.timeout = *timeout;
    return config;
}

std::optional<std::string> LocalModelConfig::refusal() const {
    if (url.empty()) return std::nullopt;
    const auto endpoint = LocalEndpoint::parse(url);
    const auto* why = std::get_if<SemanticAvailability>(&endpoint);
    if (!why) return std::nullopt;
    return "TAVORI_LLM_URL「" + url + "」は使えません: " + std::string(userDescription(*why));
}

std::ostream& operator<<(std::ostream& os, const LocalModelConfig& config) {
    return os << "LocalModelConfig{url=\"" << config.url << "\" model=\"" << config.model
              << "\" timeout=" << config.timeout.count() << "ms probe=" << config.probeTimeout.count()
              << "ms lifetime=" << config.availabilityLifetime.count() << "ms}";
}

std::variant<LocalEndpoint, SemanticAvailability> LocalEndpoint::parse(std::string_view url) {
    const std::string trimmed = Unicode::trim(url);
    if (trimmed.empty()) return SemanticAvailability::notConfigured;
    const std::size_t schemeEnd = trimmed.find("://");
    if (schemeEnd == std::string::npos || schemeEnd == 0) return SemanticAvailability::notConfigured;
    const std::string scheme = asciiLowercased(std::string_view(trimmed).substr(0, schemeEnd));
    const std::string_view rest = std::string_view(trimmed).substr(schemeEnd + 3);
    const std::size_t authorityEnd = std::min(rest.find_first_of("/?#"), rest.size());
    const std::string_view authority = rest.substr(0, authorityEnd);
    const std::string_view path = rest.substr(authorityEnd);
    if (authority.find('@') != std::string_view::npos) return SemanticAvailability::notConfigured;

    std::string host;
    std::string_view portText;
    bool bracketed = false;
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos) return SemanticAvailability::notConfigured;
        host = std::string(authority.substr(1, close - 1));
        bracketed = true;
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty() && after.front() != ':') return SemanticAvailability::notConfigured;
        if (!after.empty()) portText = after.substr(1);
    } else {
        const std::size_t colon = authority.find(':');
        host = std::string(authority.substr(0, colon));
        if (colon != std::string_view::npos) portText = authority.substr(colon + 1);
    }
    if (host.empty()) return SemanticAvailability::notConfigured;
    host = asciiLowercased(host);

    const auto address = loopbackAddress(host, bracketed);
    if (!address) return SemanticAvailability::notLocal;
    if (scheme != "http") return SemanticAvailability::notConfigured;
    const auto port = portNumber(portText);
    if (!port) return SemanticAvailability::notConfigured;
    if (!std::all_of(path.begin(), path.end(), isPathCharacter)) return SemanticAvailability::notConfigured;

    std::string basePath(path);
    while (!basePath.empty() && basePath.back() == '/') basePath.pop_back();
    if (basePath.ends_with("/v1")) basePath.resize(basePath.size() - 3);
    while (!basePath.empty() && basePath.back() == '/') basePath.pop_back();

    LocalEndpoint endpoint;
    endpoint.address = *address;
    endpoint.port = *port;
    endpoint.basePath = std::move(basePath);
    endpoint.hostHeader = (bracketed ? "[" + host + "]" : host) + ":" + std::to_string(*port);
    return endpoint;
}

std::ostream& operator<<(std::ostream& os, const LocalEndpoint& endpoint) {
    return os << "LocalEndpoint{" << endpoint.address << " port " << endpoint.port << " base \""
              << endpoint.basePath << "\" host \"" << endpoint.hostHeader << "\"}";
}

}  // namespace tavori
