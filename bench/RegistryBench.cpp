// The register of qualified-invoice issuers at full size: `tavori registry import` of a generated full data
// set (5,000,000 rows unless --records says otherwise), the size of the file it writes, and single lookups.
// Targets: import ≤ 3 min on two cores, file ≤ 1 GiB, a lookup ≤ 1 ms.
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "TavoriKit/registry/InvoiceRegistry.h"
#include "bench/BenchSupport.h"
#include "samples/RegistrySample.h"

namespace fs = std::filesystem;
using namespace tavori;
using bench::Clock;

int main(int argc, char** argv) {
    std::uint64_t records = 5'000'000;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--records") records = std::strtoull(argv[i + 1], nullptr, 10);

    char folderName[] = "/tmp/tavori-registry-bench-XXXXXX";
    if (::mkdtemp(folderName) == nullptr) return 1;
    const fs::path folder = folderName;
    const fs::path csv = folder / "00_zenkoku_all_generated.csv";

    auto start = Clock::now();
    RegistrySample::writeGeneratedCsv(csv, 0, records);
    std::printf("generated %llu rows, %.0f MiB of CSV in %.1f s (not counted)\n",
                static_cast<unsigned long long>(records), static_cast<double>(fs::file_size(csv)) / (1 << 20),
                bench::secondsSince(start));

    const bench::ChildRun run = bench::runChild({TAVORI_CLI, "registry", "import", csv.string()},
                                                {"XDG_DATA_HOME=" + (folder / "data").string()});
    const fs::path location = InvoiceRegistry::locationFor((folder / "data").c_str(), nullptr);
    std::error_code ec;
    const double sizeMiB = static_cast<double>(fs::file_size(location, ec)) / (1 << 20);
    // The machine may be shared: the processor time says what the import costs whatever else runs.
    rusage children{};
    ::getrusage(RUSAGE_CHILDREN, &children);
    const double cpu = static_cast<double>(children.ru_utime.tv_sec + children.ru_stime.tv_sec) +
                       static_cast<double>(children.ru_utime.tv_usec + children.ru_stime.tv_usec) / 1e6;
    std::printf(
        "import: %s in %.1f s (target 180 s), %.1f s of processor time, peak %.0f MiB; file %.0f MiB (target "
        "1024 MiB)\n",
        run.ok ? "done" : "FAILED", run.seconds, cpu, run.peakMiB, sizeMiB);

    const auto registry = InvoiceRegistry::open(location);
    if (!registry) return 1;
    std::mt19937_64 random(42);
    constexpr int lookups = 200'000;
    std::vector<double> times;
    times.reserve(lookups);
    int found = 0;
    start = Clock::now();
    for (int i = 0; i < lookups; ++i) {
        // Every other number is one that is not in the register.
        const auto index = random() % records;
        std::string number = RegistrySample::record(index).number;
        if (i % 2 == 1) number[1] = number[1] == '0' ? '1' : '0';
        const auto one = Clock::now();
        const auto status = registry->check(number, DateComponentsValue{2024, 3, 15});
        times.push_back(bench::secondsSince(one));
        found += status.state != RegistrationStatus::State::notFound;
    }
    const double total = bench::secondsSince(start);
    std::sort(times.begin(), times.end());
    std::printf(
        "lookup: %.1f µs on average over %d (%d found); median %.1f µs, 99th percentile %.1f µs, slowest "
        "%.1f µs "
        "(target 1000 µs)\n",
        total / lookups * 1e6, lookups, found, times[lookups / 2] * 1e6, times[lookups * 99 / 100] * 1e6,
        times.back() * 1e6);

    fs::remove_all(folder, ec);
    return run.ok ? 0 : 1;
}
