// `tavori watch IN --mode copy --dest OUT --save-confident` while text-layer PDFs are copied into IN one
// after another, as a scanner would drop them: the time from a file's arrival to its saved copy (median and
// maximum), and whether every confident document is in OUT with its row in the index book.
//
//     build/bench/bench_watch [--files 50] [--interval-ms 200] [--settle 1]
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include "samples/SamplePdf.h"

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

double milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
    int files = 50;
    int intervalMs = 200;
    std::string settle = "1";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--files")
            files = std::stoi(argv[i + 1]);
        else if (option == "--interval-ms")
            intervalMs = std::stoi(argv[i + 1]);
        else if (option == "--settle")
            settle = argv[i + 1];
    }

    char pattern[] = "/tmp/tavori-bench-watch-XXXXXX";
    const fs::path root = ::mkdtemp(pattern);
    const fs::path source = root / "scanned", in = root / "in", out = root / "out";
    fs::create_directories(source);
    fs::create_directories(in);
    for (int i = 0; i < files; ++i)
        tavori::SamplePdf::write(source / ("scan_" + std::to_string(1000 + i) + ".pdf"),
                                 tavori::SamplePdf::receipt("ベンチ商店" + std::to_string(i), 1 + i % 12,
                                                            1 + i % 28, 100 + 37 * i));

    // Default settings, away from the user's.
    const std::string config = "XDG_CONFIG_HOME=" + (root / "config").native();
    const std::string data = "XDG_DATA_HOME=" + (root / "data").native();
    std::vector<char*> environment{const_cast<char*>(config.c_str()), const_cast<char*>(data.c_str())};
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "XDG_CONFIG_HOME=", 16) != 0 && std::strncmp(*e, "XDG_DATA_HOME=", 14) != 0)
            environment.push_back(*e);
    environment.push_back(nullptr);

    int errPipe[2];
    if (::pipe(errPipe) != 0) return 1;
    std::vector<std::string> arguments = {TAVORI_CLI, "watch",      in.native(),        "--mode",   "copy",
                                          "--dest",   out.native(), "--save-confident", "--settle", settle};
    std::vector<char*> args;
    for (auto& a : arguments) args.push_back(a.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string rows = (root / "rows.tsv").native();
    posix_spawn_file_actions_addopen(&actions, 1, rows.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    posix_spawn_file_actions_addclose(&actions, errPipe[0]);
    pid_t pid = 0;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environment.data()) != 0) return 1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(errPipe[1]);

    std::mutex mutex;
    std::condition_variable changed;
    bool watching = false;
    std::map<std::string, Clock::time_point> saved;  // source file name -> when its save was reported
    std::thread reader([&] {
        FILE* err = ::fdopen(errPipe[0], "r");
        char* line = nullptr;
        std::size_t capacity = 0;
        const std::string savedMark = "保存しました (saved): ";
        while (::getline(&line, &capacity, err) > 0) {
            const auto now = Clock::now();
            const std::string text = line;
            std::lock_guard lock(mutex);
            if (text.find("Ctrl-C") != std::string::npos) watching = true;
            if (text.rfind(savedMark, 0) == 0) {
                const std::string from = text.substr(savedMark.size(), text.find(" -> ") - savedMark.size());
                saved[fs::path(from).filename().native()] = now;
            }
            changed.notify_all();
        }
        std::free(line);
        std::fclose(err);
    });
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return watching; });
    }

    // Each copy is written in place, as a scanner writes; it has arrived once the copy is complete.
    std::map<std::string, Clock::time_point> arrived;
    for (const auto& entry : fs::directory_iterator(source)) {
        fs::copy_file(entry.path(), in / entry.path().filename());
        arrived[entry.path().filename().native()] = Clock::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
    }
    {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(120), [&] { return saved.size() >= arrived.size(); });
    }
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    reader.join();

    // What the rows call confident ("ready"), against what reached OUT and the book.
    std::istringstream rowText(readAll(rows));
    std::string row;
    int confident = 0, inDestination = 0, inBook = 0;
    const std::string book = readAll(out / "索引簿.csv");
    while (std::getline(rowText, row)) {
        std::vector<std::string> cols;
        std::istringstream fields(row);
        for (std::string col; std::getline(fields, col, '\t');) cols.push_back(col);
        if (cols.size() < 10 || cols[1] != "ready") continue;
        ++confident;
        if (fs::exists(out / cols[9])) ++inDestination;
        if (book.find("," + cols[9] + ",") != std::string::npos) ++inBook;
    }
    std::vector<double> latencies;
    for (const auto& [name, when] : arrived)
        if (const auto it = saved.find(name); it != saved.end())
            latencies.push_back(milliseconds(it->second - when));
    std::sort(latencies.begin(), latencies.end());
    std::printf("files copied into IN: %d, one every %d ms, settle time %s s\n", files, intervalMs,
                settle.c_str());
    std::printf("confident: %d, saved in OUT: %d, rows in the index book: %d, exit status %d\n", confident,
                inDestination, inBook, WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    if (!latencies.empty())
        std::printf("arrival to saved: median %.0f ms, max %.0f ms (%zu files)\n",
                    latencies[latencies.size() / 2], latencies.back(), latencies.size());
    const bool complete = confident == files && inDestination == confident && inBook == confident;
    std::printf("%s\n", complete ? "every confident document is in OUT with its row" : "INCOMPLETE");
    fs::remove_all(root);
    return complete ? 0 : 1;
}
