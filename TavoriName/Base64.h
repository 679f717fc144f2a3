#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Standard Base64 with padding, as stored bytes are written in JSON documents.
namespace tavori::Base64 {

std::string encode(std::span<const std::uint8_t> bytes);
// Nothing for text that is not padded standard Base64 (white space included).
std::optional<std::vector<std::uint8_t>> decode(std::string_view text);

}  // namespace tavori::Base64
