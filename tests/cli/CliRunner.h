#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

// Runs the built `tavori` program as a user would, in its own process.
namespace tavori::test {

struct CliResult {
    int exitCode = -1;  // -1 when it did not exit normally
    std::string out;
    std::string err;
};

// The parts of `text` between separators: its lines, or a row's columns with '\t'.
std::vector<std::string> split(const std::string& text, char separator = '\n');

class CliRunner {
  public:
    // `home` holds the settings (XDG_CONFIG_HOME), the register (XDG_DATA_HOME) and the captured output.
    explicit CliRunner(std::filesystem::path home) : home_(std::move(home)) {}

    // `env` adds "NAME=value" settings; the local-model variables are cleared unless it sets them.
    CliResult run(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) const;
    // Starts the program without waiting; `finish` waits for it and collects its output.
    int start(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) const;
    CliResult finish(int pid) const;
    // Like run(), with standard error on a pseudo-terminal, as in an interactive shell; `err` is what the
    // terminal received.
    CliResult runWithTerminal(const std::vector<std::string>& args,
                              const std::vector<std::string>& env = {}) const;
    // Whether the started program is still running.
    static bool running(int pid);
    std::filesystem::path stdoutFile() const { return home_ / "stdout"; }
    // Starts the program and sends it SIGKILL after `delay`; returns once it is gone.
    void runAndKill(const std::vector<std::string>& args, std::chrono::microseconds delay) const;

    std::filesystem::path settingsFile() const { return home_ / "config" / "tavori-name" / "defaults.json"; }
    std::filesystem::path registryFile() const { return home_ / "data" / "tavori-name" / "registry.sqlite"; }

  private:
    int spawn(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
              int terminal = -1) const;
    std::filesystem::path home_;
};

}  // namespace tavori::test
