#pragma once

#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>

// Real files in a fresh folder for tests that check the bytes on disk.
namespace tavori::test {

// A fresh folder under `base`, removed with everything in it at the end of the test.
class TestFolder {
  public:
    explicit TestFolder(const std::filesystem::path& base = std::filesystem::temp_directory_path()) {
        std::string name = (base / "tavori-test-XXXXXX").string();
        if (::mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp failed in " + base.string());
        path_ = name;
    }
    ~TestFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

inline void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The names in a folder, as bytes; a missing folder lists as nothing.
inline std::set<std::string> names(const std::filesystem::path& folder) {
    std::set<std::string> result;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        result.insert(it->path().filename().native());
    return result;
}

// Every regular file below `root`, by its path relative to `root`, with its bytes: what a run changed.
inline std::map<std::string, std::string> tree(const std::filesystem::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files[entry.path().lexically_relative(root).native()] = readFile(entry.path());
    return files;
}

// Polls `condition` until it holds, for at most `bound` (generous, for a loaded machine); whether it came.
template <class Condition>
bool eventually(Condition condition, std::chrono::milliseconds bound = std::chrono::minutes(2)) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace tavori::test
