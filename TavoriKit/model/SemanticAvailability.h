#pragma once

#include <array>
#include <ostream>
#include <string_view>

namespace tavori {

// Whether the local language model can be asked, and if not, why; each case carries the sentence the settings
// window shows.
enum class SemanticAvailability { available, notConfigured, notLocal, serverUnreachable, modelNotReady };

inline constexpr std::array<SemanticAvailability, 5> allSemanticAvailabilities = {
    SemanticAvailability::available, SemanticAvailability::notConfigured, SemanticAvailability::notLocal,
    SemanticAvailability::serverUnreachable, SemanticAvailability::modelNotReady};

std::string_view userDescription(SemanticAvailability availability);
inline bool isAvailable(SemanticAvailability availability) {
    return availability == SemanticAvailability::available;
}
// The case name, for logs and test output.
std::string_view rawValue(SemanticAvailability availability);
std::ostream& operator<<(std::ostream& os, SemanticAvailability availability);

}  // namespace tavori
