#include "CliRunner.h"

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>
#include <stdexcept>
#include <thread>

#include "../TestFiles.h"

namespace tavori::test {

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
    return parts;
}

int CliRunner::spawn(const std::vector<std::string>& args, const std::vector<std::string>& env,
                     int terminal) const {
    const std::string out = (home_ / "stdout").native(), err = (home_ / "stderr").native();
    const std::string config = (home_ / "config").native(), data = (home_ / "data").native();
    std::vector<char*> argv;
    static std::string program = TAVORI_CLI_PATH;
    argv.push_back(program.data());
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (o < 0 || e < 0) ::_exit(126);
        ::dup2(o, STDOUT_FILENO);
        ::dup2(terminal >= 0 ? terminal : e, STDERR_FILENO);
        ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        ::setenv("XDG_DATA_HOME", data.c_str(), 1);
        ::setenv("TAVORI_JOBS", "2", 1);
        for (const char* name : {"TAVORI_LLM_URL", "TAVORI_LLM_MODEL", "TAVORI_LLM_TIMEOUT"})
            ::unsetenv(name);
        for (const auto& setting : env) ::putenv(const_cast<char*>(setting.c_str()));
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

CliResult CliRunner::run(const std::vector<std::string>& args, const std::vector<std::string>& env) const {
    return finish(start(args, env));
}

int CliRunner::start(const std::vector<std::string>& args, const std::vector<std::string>& env) const {
    return spawn(args, env);
}

CliResult CliRunner::runWithTerminal(const std::vector<std::string>& args,
                                     const std::vector<std::string>& env) const {
    int master = -1, slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    const pid_t pid = spawn(args, env, slave);
    ::close(slave);
    std::string received;
    char buffer[4096];
    // Read until the program's end closes the terminal (EIO), so that the terminal never fills up.
    for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;)
        received.append(buffer, static_cast<std::size_t>(n));
    ::close(master);
    CliResult result = finish(pid);
    result.err = std::move(received);
    return result;
}

bool CliRunner::running(int pid) {
    siginfo_t info{};
    // WNOWAIT leaves the exit status for finish() to collect.
    return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == 0;
}

CliResult CliRunner::finish(int pid) const {
    int status = 0;
    ::waitpid(pid, &status, 0);
    CliResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readFile(home_ / "stdout");
    result.err = readFile(home_ / "stderr");
    return result;
}

void CliRunner::runAndKill(const std::vector<std::string>& args, std::chrono::microseconds delay) const {
    const pid_t pid = spawn(args);
    std::this_thread::sleep_for(delay);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

}  // namespace tavori::test
