#include "TavoriKit/saving/RenamePlan.h"

namespace tavori {

std::ostream& operator<<(std::ostream& os, const RenamePlan& plan) {
    os << "RenamePlan{" << plan.source << " -> ";
    if (plan.mode != RenamePlan::Mode::renameInPlace) os << plan.destinationDirectory << " ";
    return os << "\"" << plan.baseName << "\", " << plan.mode << "}";
}

std::ostream& operator<<(std::ostream& os, const RenameResult& result) {
    return os << "RenameResult{" << result.source << " -> " << result.destination << "}";
}

}  // namespace tavori
