#include "TavoriKit/registry/InvoiceRegistry.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <thread>

#include "TavoriKit/registry/RegistryImporter.h"
#include "samples/RegistrySample.h"
#include "tests/TestFiles.h"

namespace tavori {
namespace {

namespace fs = std::filesystem;
using namespace tavori::test;
using Case = RegistryError::Case;
using State = RegistrationStatus::State;

constexpr std::uint64_t kRecords = 3000;

// The full data as two files: the first half as CSV with one malformed row in it, the second half zipped.
struct FullData {
    fs::path csv, zip;
    std::vector<RegistryRecord> records = RegistrySample::records(0, kRecords);

    explicit FullData(const TestFolder& dir)
        : csv(dir / "00_zenkoku_all_20240930_1.csv"), zip(dir / "00_zenkoku_all_20240930_2.zip") {
        const std::span<const RegistryRecord> all(records);
        std::string first = RegistrySample::csv(all.first(kRecords / 2));
        // Row 101 loses a column.
        std::size_t at = 0;
        for (int line = 0; line < 100; ++line) at = first.find("\r\n", at) + 2;
        first.insert(at, "101,\"T9999999999999\",\"01\"\r\n");
        writeFile(csv, first);
        RegistrySample::writeZip(
            zip, {{"00_zenkoku_all_20240930_2.csv", RegistrySample::csv(all.subspan(kRecords / 2))},
                  {"readme.txt", "not a register"}});
    }
    std::vector<fs::path> files() const { return {csv, zip}; }
};

TEST(InvoiceRegistryTest, ImportsTheFullDataFromCsvAndZip) {
    TestFolder dir;
    FullData data(dir);
    const fs::path location = dir / "data" / "tavori-name" / "registry.sqlite";
    EXPECT_EQ(InvoiceRegistry::open(location), nullptr);

    std::vector<RegistryImporter::Progress> progress;
    RegistryImporter::Options options;
    options.progress = [&](const RegistryImporter::Progress& p) { progress.push_back(p); };
    const auto files = data.files();
    const auto result = RegistryImporter::importFiles(files, location, options);

    EXPECT_EQ(result.rows, kRecords);
    EXPECT_EQ(result.skippedCount, 1u);
    ASSERT_EQ(result.skipped.size(), 1u);
    EXPECT_EQ(result.skipped[0].file, data.csv);
    EXPECT_EQ(result.skipped[0].line, 101u);
    EXPECT_NE(result.skipped[0].problem.find("列の数"), std::string::npos) << result.skipped[0].problem;
    EXPECT_EQ(result.summary.records, kRecords);
    EXPECT_EQ(result.summary.soleProprietors, kRecords / 3);
    EXPECT_EQ(result.summary.corporations, kRecords - kRecords / 3);
    EXPECT_EQ(result.summary.dataDate, (DateComponentsValue{2024, 9, 30}));
    ASSERT_EQ(result.summary.imports.size(), 2u);
    EXPECT_EQ(result.summary.imports[0].file, data.csv.filename().string());
    EXPECT_EQ(result.summary.imports[0].skipped, 1u);
    EXPECT_EQ(result.summary.imports[1].rows, kRecords - kRecords / 2);

    ASSERT_FALSE(progress.empty());
    EXPECT_TRUE(progress.back().finishing);
    const auto& read = progress[progress.size() - 2];
    EXPECT_EQ(read.bytesDone, read.bytesTotal);
    EXPECT_EQ(read.rows, kRecords);

    const auto registry = InvoiceRegistry::open(location);
    ASSERT_NE(registry, nullptr);
    EXPECT_EQ(registry->summary().records, kRecords);
    for (const auto& r : data.records) {
        const auto found = registry->lookup(r.number);
        ASSERT_TRUE(found) << r.number;
        EXPECT_EQ(*found, r);
    }
    EXPECT_FALSE(registry->lookup("T9999999999999"));
    EXPECT_EQ(names(location.parent_path()),
              (std::set<std::string>{"registry.sqlite", "registry.sqlite.lock"}));
}

TEST(InvoiceRegistryTest, NumbersAreFoundInEveryWrittenForm) {
    TestFolder dir;
    const fs::path location = dir / "registry.sqlite";
    RegistryRecord r = RegistrySample::record(1);
    r.number = "T5000012010024";
    const fs::path file = dir / "one.csv";
    writeFile(file, RegistrySample::csv(std::vector{r}));
    RegistryImporter::importFiles(std::vector{file}, location);
    const auto registry = InvoiceRegistry::open(location);
    for (const std::string number : {"T5000012010024", "t5000012010024", "Ｔ５００００１２０１００２４",
                                     "T-5000-0120-1002-4", "T 5000 0120 1002 4", "5000012010024"})
        EXPECT_TRUE(registry->lookup(number)) << number;
    for (const std::string number : {"T500001201002", "T50000120100245", "X5000012010024", "", "T"})
        EXPECT_FALSE(registry->lookup(number)) << number;
    EXPECT_EQ(registry->check("Ｔ５００００１２０１００２４", std::nullopt).number, "T5000012010024");
}

// A difference file: a changed name, an expiry, a cancellation, a deletion, a new number, and a row older
// than what is stored (which must change nothing).
TEST(InvoiceRegistryTest, DifferenceFilesApplyInOrderAndAgainChangeNothing) {
    TestFolder dir;
    FullData data(dir);
    const fs::path location = dir / "registry.sqlite";
    RegistryImporter::importFiles(data.files(), location);

    auto changed = data.records[1];
    changed.process = RegistryRecord::Process::changed;
    changed.name = "株式会社新名称";
    changed.updateDate = DateComponentsValue{2024, 10, 2};
    auto expired = data.records[2];
    expired.process = RegistryRecord::Process::expired;
    expired.expiryDate = expired.updateDate = DateComponentsValue{2024, 10, 1};
    auto cancelled = data.records[3];
    cancelled.process = RegistryRecord::Process::cancelled;
    cancelled.cancellationDate = cancelled.updateDate = DateComponentsValue{2024, 10, 2};
    RegistryRecord deleted;
    deleted.number = data.records[4].number;
    deleted.process = RegistryRecord::Process::deleted;
    deleted.updateDate = DateComponentsValue{2024, 10, 2};
    const auto added = RegistrySample::record(kRecords + 1);
    auto stale = data.records[5];
    stale.name = "古い名称";
    stale.updateDate = DateComponentsValue{2023, 1, 1};
    auto past = data.records[6];
    past.latest = false;
    past.name = "過去の名称";
    past.updateDate = DateComponentsValue{2024, 12, 1};

    RegistryRecord deletedUndated;  // as some published deletions come, without an update date
    deletedUndated.number = data.records[7].number;
    deletedUndated.process = RegistryRecord::Process::deleted;

    const fs::path diff = dir / "diff_20241002.zip";
    RegistrySample::writeZip(
        diff, {{"diff_20241002.csv", RegistrySample::csv(std::vector{changed, expired, cancelled, deleted,
                                                                     added, stale, past, deletedUndated})}});

    for (int round = 0; round < 2; ++round) {
        const auto result = RegistryImporter::importFiles(std::vector{diff}, location);
        EXPECT_EQ(result.summary.records, kRecords - 1) << "round " << round;  // two deleted, one added
        EXPECT_EQ(result.summary.dataDate, (DateComponentsValue{2024, 10, 2}));
        const auto registry = InvoiceRegistry::open(location);
        EXPECT_EQ(registry->lookup(changed.number)->name, "株式会社新名称");
        EXPECT_EQ(registry->lookup(expired.number)->expiryDate, expired.expiryDate);
        EXPECT_EQ(registry->lookup(cancelled.number)->cancellationDate, cancelled.cancellationDate);
        EXPECT_EQ(registry->check(deleted.number, std::nullopt).state, State::notFound);
        EXPECT_EQ(registry->lookup(added.number), added);
        EXPECT_EQ(registry->lookup(stale.number), data.records[5]) << "an older row replaced a newer one";
        EXPECT_EQ(registry->lookup(past.number), data.records[6])
            << "a row of past details replaced the latest";
        EXPECT_EQ(registry->summary().imports.size(), 3u + round);
    }

    // An older file imported after it does not bring the deleted number back.
    RegistryImporter::importFiles(data.files(), location);
    for (const auto& gone : {deleted, deletedUndated})
        EXPECT_EQ(InvoiceRegistry::open(location)->check(gone.number, std::nullopt).state, State::notFound)
            << gone.number;

    // A new full data set replaces everything.
    const fs::path fresh = dir / "fresh.csv";
    writeFile(fresh, RegistrySample::csv(RegistrySample::records(5000, 10)));
    RegistryImporter::Options replace;
    replace.replace = true;
    const auto replaced = RegistryImporter::importFiles(std::vector{fresh}, location, replace);
    EXPECT_EQ(replaced.summary.records, 10u);
    EXPECT_EQ(replaced.summary.imports.size(), 1u);
}

TEST(InvoiceRegistryTest, AFailedOrStoppedImportLeavesTheRegisterAsItWas) {
    TestFolder dir;
    FullData data(dir);
    const fs::path location = dir / "registry.sqlite";
    RegistryImporter::importFiles(std::vector{data.csv}, location);
    const std::string before = readFile(location);

    const fs::path more = dir / "more.csv";
    writeFile(more, RegistrySample::csv(RegistrySample::records(10000, 5000)));
    const fs::path garbage = dir / "garbage.csv";
    writeFile(garbage, "date,vendor,amount\r\n2024-01-01,Shop,100\r\n");
    const fs::path empty = dir / "empty.zip";
    RegistrySample::writeZip(empty, {{"readme.txt", "nothing"}});
    // A zip whose data does not match its checksum.
    const fs::path damaged = dir / "damaged.zip";
    RegistrySample::writeZip(damaged, {{"d.csv", RegistrySample::csv(RegistrySample::records(20000, 2000))}});
    std::string bytes = readFile(damaged);
    bytes[bytes.size() / 2] ^= 0x55;
    writeFile(damaged, bytes);
    const fs::path missing = dir / "missing.csv";
    // Bombs: a small zip of nothing but commas, one of a single endless line; and an empty download.
    const fs::path commas = dir / "commas.zip", longLine = dir / "line.zip", zeroBytes = dir / "zero.zip";
    RegistrySample::writeZip(commas, {{"c.csv", std::string(std::size_t{8} << 20, ',')}});
    RegistrySample::writeZip(longLine, {{"l.csv", std::string(std::size_t{8} << 20, 'x')}});
    writeFile(zeroBytes, "");

    struct Failure {
        std::string name;
        std::vector<fs::path> files;
        Case expected;
        bool cancelInProgress = false;
    };
    const std::vector<Failure> failures = {
        {"stopped midway", {more, data.zip}, Case::cancelled, true},
        {"damaged zip after a good file", {more, damaged}, Case::unreadableFile},
        {"not the register", {more, garbage}, Case::notRegistryFile},
        {"zip without CSV", {empty}, Case::notRegistryFile},
        {"missing file", {more, missing}, Case::unreadableFile},
        {"zip of commas", {more, commas}, Case::notRegistryFile},
        {"zip of one endless line", {longLine}, Case::notRegistryFile},
        {"zero-byte zip", {zeroBytes}, Case::notRegistryFile},
    };
    for (const auto& f : failures) {
        RegistryImporter::Options options;
        if (f.cancelInProgress)
            options.progress = [&](const RegistryImporter::Progress& p) {
                if (p.rows > 0) options.cancel.cancel();
            };
        try {
            RegistryImporter::importFiles(f.files, location, options);
            ADD_FAILURE() << f.name << ": no error";
        } catch (const RegistryError& e) {
            EXPECT_EQ(e.errorCase(), f.expected) << f.name << ": " << e.what();
        }
        EXPECT_EQ(readFile(location), before) << f.name;
        EXPECT_FALSE(fs::exists(fs::path(location).concat(".partial"))) << f.name;
    }
    EXPECT_EQ(InvoiceRegistry::open(location)->summary().records, kRecords / 2);
}

TEST(InvoiceRegistryTest, AKilledImportIsCleanedUpAndASecondImportWaitsForNone) {
    TestFolder dir;
    FullData data(dir);
    const fs::path location = dir / "registry.sqlite";
    // What an import killed halfway leaves behind.
    writeFile(fs::path(location).concat(".partial"), "half a database");
    RegistryImporter::importFiles(std::vector{data.csv}, location);
    EXPECT_FALSE(fs::exists(fs::path(location).concat(".partial")));

    const int fd = ::open(fs::path(location).concat(".lock").c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    try {
        RegistryImporter::importFiles(std::vector{data.zip}, location);
        ADD_FAILURE() << "imported while another import held the lock";
    } catch (const RegistryError& e) {
        EXPECT_EQ(e.errorCase(), Case::busy) << e.what();
    }
    ::close(fd);
    EXPECT_EQ(InvoiceRegistry::open(location)->summary().records, kRecords / 2);
}

TEST(InvoiceRegistryTest, ADamagedRegisterIsReportedNotUsed) {
    TestFolder dir;
    const fs::path location = dir / "registry.sqlite";
    writeFile(location, std::string(4096, 'x'));
    try {
        InvoiceRegistry::open(location);
        ADD_FAILURE() << "opened";
    } catch (const RegistryError& e) {
        EXPECT_EQ(e.errorCase(), Case::damaged);
    }
}

TEST(InvoiceRegistryTest, LookupsFromSeveralThreads) {
    TestFolder dir;
    FullData data(dir);
    const fs::path location = dir / "registry.sqlite";
    RegistryImporter::importFiles(std::vector{data.csv}, location);
    const auto registry = InvoiceRegistry::open(location);
    std::vector<std::thread> threads;
    std::atomic<int> wrong = 0;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (std::uint64_t i = t; i < kRecords / 2; i += 4)
                if (registry->lookup(data.records[i].number) != data.records[i]) ++wrong;
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(wrong, 0);
}

TEST(InvoiceRegistryTest, DataFolderFollowsXdgDataHome) {
    EXPECT_EQ(InvoiceRegistry::locationFor("/data", "/home/u"),
              fs::path("/data/tavori-name/registry.sqlite"));
    EXPECT_EQ(InvoiceRegistry::locationFor(nullptr, "/home/u"),
              fs::path("/home/u/.local/share/tavori-name/registry.sqlite"));
    EXPECT_EQ(InvoiceRegistry::locationFor("relative", "/home/u"),
              fs::path("/home/u/.local/share/tavori-name/registry.sqlite"));
}

}  // namespace
}  // namespace tavori
