// Peak memory and time of `tavori scan` on crafted files: each hostile file alone, then a batch of many files
// with bombs among them on two workers. Each run is a child process, so its peak is its own.
//   bench_hostile [--files N] [--bombs M]
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "samples/CraftedFiles.h"
#include "samples/SamplePdf.h"

namespace fs = std::filesystem;
using tavori::bench::ChildRun;
using tavori::bench::runChild;

namespace {

void writeBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void writeSparse(const fs::path& path, const std::string& head, off_t size) {
    std::ofstream(path, std::ios::binary) << head;
    if (::truncate(path.c_str(), size) != 0) std::perror("truncate");
}

ChildRun scan(const std::vector<std::string>& files, const char* jobs) {
    std::vector<std::string> arguments = {TAVORI_CLI, "scan"};
    arguments.insert(arguments.end(), files.begin(), files.end());
    return runChild(arguments, {std::string("TAVORI_JOBS=") + jobs});
}

void print(const char* what, const ChildRun& run) {
    std::printf("%-48s %8.2f s %8.1f MiB\n", what, run.seconds, run.peakMiB);
}

}  // namespace

int main(int argc, char** argv) {
    int files = 500, bombs = 20;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--files") == 0) files = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--bombs") == 0) bombs = std::atoi(argv[i + 1]);
    }
    const fs::path dir = fs::temp_directory_path() / ("tavori-hostile-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);

    const fs::path rgba = dir / "rgba-12000.png", grey = dir / "grey-12000.png",
                   laced = dir / "laced-12000.png";
    writeBytes(rgba, tavori::CraftedFiles::zeroPng(12000, 12000));
    writeBytes(grey, tavori::CraftedFiles::zeroPng(12000, 12000, 0));
    writeBytes(laced, tavori::CraftedFiles::pngHeaderOnly(12000, 12000, 6, true));
    writeSparse(dir / "zeros-1g.pdf", "", 1ll << 30);
    writeSparse(dir / "zeros-8g.pdf", "", 8ll << 30);
    writeSparse(dir / "headed-zeros-1g.pdf", "%PDF-1.7\n", 1ll << 30);

    std::printf("%-48s %10s %12s\n", "one file (tavori scan, TAVORI_JOBS=1)", "time", "peak");
    print("PNG 12000 x 12000 RGBA, 560 KB", scan({rgba.string()}, "1"));
    print("PNG 12000 x 12000 grey", scan({grey.string()}, "1"));
    print("interlaced PNG 12000 x 12000 RGBA (refused)", scan({laced.string()}, "1"));
    print("1 GiB of zeros named .pdf", scan({(dir / "zeros-1g.pdf").string()}, "1"));
    print("8 GiB of zeros named .pdf", scan({(dir / "zeros-8g.pdf").string()}, "1"));
    print("%PDF- header then 1 GiB of zeros", scan({(dir / "headed-zeros-1g.pdf").string()}, "1"));

    // Text-layer receipts with a bomb at even intervals, so that both workers meet bombs.
    std::vector<std::string> batch;
    for (int i = 0; i < files; ++i) {
        const bool bomb =
            bombs > 0 && i % std::max(1, files / bombs) == 0 && i / std::max(1, files / bombs) < bombs;
        const fs::path path = dir / ("batch-" + std::to_string(i) + (bomb ? ".png" : ".pdf"));
        if (bomb)
            fs::copy_file(rgba, path, fs::copy_options::overwrite_existing);
        else
            tavori::SamplePdf::write(
                path, tavori::SamplePdf::receipt("店" + std::to_string(i), 1 + i % 12, 1 + i % 28, 100 + i));
        batch.push_back(path.string());
    }
    const std::string title =
        std::to_string(files) + " files, " + std::to_string(bombs) + " of them the RGBA PNG, 2 workers";
    print(title.c_str(), scan(batch, "2"));
    fs::remove_all(dir);
    return 0;
}
