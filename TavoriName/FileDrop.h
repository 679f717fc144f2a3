#pragma once

#include <filesystem>
#include <optional>
#include <vector>

class QMimeData;

namespace tavori::FileDrop {

// Whether a drag carries anything the window can take (a URL list).
bool canAccept(const QMimeData& data);

// The local files and folders of one drop, in the order the URL list gives them. Names are decoded from the
// URLs byte for byte, so a name that is not UTF-8 still names its file. Nothing when the drop carries no URL
// list at all; an empty list when it carries only URLs that are not local files.
std::optional<std::vector<std::filesystem::path>> files(const QMimeData& data);

}  // namespace tavori::FileDrop
