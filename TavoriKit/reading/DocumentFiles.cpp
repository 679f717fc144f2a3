#include "TavoriKit/reading/DocumentFiles.h"

#include <algorithm>
#include <system_error>

#include "TavoriKit/reading/DocumentTextExtractor.h"

namespace fs = std::filesystem;

namespace tavori::DocumentFiles {

bool isSupported(const fs::path& path) {
    return DocumentTextExtractor::isSupported(path);
}

std::vector<fs::path> expand(std::span<const fs::path> paths) {
    std::vector<fs::path> result;
    for (const auto& path : paths) {
        std::error_code ec;
        if (!fs::is_directory(path, ec)) {
            result.push_back(path);
            continue;
        }
        fs::directory_iterator it(path, ec);
        if (ec) continue;
        std::vector<fs::path> entries;
        for (const fs::directory_iterator end; it != end; it.increment(ec)) {
            if (ec) break;
            const fs::path& entry = it->path();
            const std::string name = entry.filename().native();
            if (name.empty() || name.front() == '.' || !isSupported(entry)) continue;
            // A subfolder is not read, whatever its name ("scans.pdf/").
            std::error_code typeError;
            if (it->is_directory(typeError)) continue;
            entries.push_back(entry);
        }
        // UTF-8 byte order is code-point order.
        std::sort(entries.begin(), entries.end(), [](const fs::path& a, const fs::path& b) {
            return a.filename().native() < b.filename().native();
        });
        result.insert(result.end(), entries.begin(), entries.end());
    }
    return result;
}

}  // namespace tavori::DocumentFiles
