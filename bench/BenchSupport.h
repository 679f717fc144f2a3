#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

// What the benchmarks that read the shared documents or run programs have in common.
namespace tavori::bench {

using Clock = std::chrono::steady_clock;

inline double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// ../shared/data, or TAVORI_SHARED_DATA.
std::filesystem::path dataRoot();

// The first `limit` files of a folder with the extension, by name.
std::vector<std::filesystem::path> filesIn(const std::filesystem::path& folder, const std::string& extension,
                                           std::size_t limit);

struct ChildRun {
    bool ok = false;  // ran and exited with 0
    double seconds = 0;
    double peakMiB = 0;  // the child's own peak resident memory
};

// Runs a program to the end with its output thrown away, with `extraEnvironment` ("NAME=value") ahead of the
// inherited environment.
ChildRun runChild(std::vector<std::string> arguments, const std::vector<std::string>& extraEnvironment = {});

}  // namespace tavori::bench
