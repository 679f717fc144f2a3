#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "../TestFiles.h"
#include "CliRunner.h"
#include "TavoriCore/CsvReader.h"
#include "samples/SamplePdf.h"

namespace fs = std::filesystem;
using tavori::test::CliRunner;
using tavori::test::readFile;
using tavori::test::TestFolder;

namespace {

// The book's records, or nothing when it is torn: a line the reader had to leave out, or no line break after
// the last record.
std::optional<std::vector<std::vector<std::string>>> parseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> records;
    bool leftOut = false;
    tavori::CsvReader reader([&](std::span<const std::string> fields,
                                 std::uint64_t) { records.emplace_back(fields.begin(), fields.end()); },
                             {}, [&](std::uint64_t, const std::string&) { leftOut = true; });
    reader.feed(text);
    reader.finish();
    if (leftOut || !text.ends_with("\r\n")) return std::nullopt;
    return records;
}

// Visible files of a folder with their bytes (the service's own temporary files are hidden).
std::map<std::string, std::string> visibleFiles(const fs::path& folder) {
    std::map<std::string, std::string> files;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().native();
        if (name.front() != '.' && name != "索引簿.csv") files[name] = readFile(it->path());
    }
    return files;
}

// Writes `count` receipts into `src`; returns their bytes with their names.
std::map<std::string, std::string> writeReceipts(const fs::path& src, int count) {
    fs::create_directories(src);
    std::map<std::string, std::string> originals;  // bytes -> source name
    for (int i = 0; i < count; ++i) {
        auto document = tavori::SamplePdf::receipt("テスト商店" + std::to_string(i), 1 + i % 12, 1 + i % 28,
                                                   100 + 10 * i);
        const std::string name = "r" + std::to_string(100 + i) + ".pdf";
        tavori::SamplePdf::write(src / name, document);
        originals[readFile(src / name)] = name;
    }
    return originals;
}

// No file lost or partial, none saved under its old name, (moving) each exactly once; every saved file has
// exactly one row, numbered in order, and no row names a file that is not there. A kill that lands between a
// file's placing and its row leaves that one file without a row (`unrecorded`): the next save records it.
void expectNothingLostAndEveryFileRecorded(const std::string& label, const std::string& mode,
                                           const fs::path& src, const fs::path& dest,
                                           std::map<std::string, std::string>& originals,
                                           std::size_t unrecorded = 0) {
    std::map<std::string, int> seen;
    for (const auto& [name, bytes] : visibleFiles(src)) {
        ASSERT_TRUE(originals.count(bytes)) << label << ": changed source " << name;
        ++seen[bytes];
    }
    for (const auto& [name, bytes] : visibleFiles(dest)) {
        ASSERT_TRUE(originals.count(bytes)) << label << ": partial or foreign file " << name;
        EXPECT_NE(name, originals[bytes]) << label << ": saved under its old name";
        if (mode == "move") ++seen[bytes];
    }
    for (const auto& [bytes, name] : originals)
        EXPECT_EQ(seen[bytes], 1) << label << ": " << name << " is there " << seen[bytes] << " times";

    std::set<std::string> recorded;
    if (fs::exists(dest / "索引簿.csv")) {
        const auto records = parseCsv(readFile(dest / "索引簿.csv"));
        ASSERT_TRUE(records) << label << ": the index book does not parse";
        for (const auto& record : *records) ASSERT_EQ(record.size(), 8u) << label;
        ASSERT_GE(records->size(), 1u) << label;
        for (std::size_t i = 1; i < records->size(); ++i) {
            EXPECT_EQ((*records)[i][0], std::to_string(i)) << label;
            EXPECT_TRUE(recorded.insert((*records)[i][5]).second) << label << ": two rows for one file";
        }
    }
    std::set<std::string> placed;
    for (const auto& [name, bytes] : visibleFiles(dest)) placed.insert(name);
    EXPECT_TRUE(std::includes(placed.begin(), placed.end(), recorded.begin(), recorded.end()))
        << label << ": a row names a file that is not there";
    EXPECT_LE(placed.size() - recorded.size(), unrecorded) << label << ": saved files without rows";
}

TEST(CliKillTest, AKilledSaveLosesNothingAndLeavesNoPartialFile) {
    constexpr int kFiles = 24;
    const std::vector<int> delaysMicroseconds = {0, 2000, 10000, 30000, 60000, 100000, 160000, 250000};
    for (const std::string mode : {"move", "copy"}) {
        for (const int delay : delaysMicroseconds) {
            TestFolder dir;
            const fs::path src = dir / "src", dest = dir / "dest";
            auto originals = writeReceipts(src, kFiles);
            const CliRunner cli(dir.path());
            cli.runAndKill({"save", "--mode", mode, "--dest", dest.native(), src.native()},
                           std::chrono::microseconds(delay));
            expectNothingLostAndEveryFileRecorded(mode + " killed after " + std::to_string(delay) + " µs",
                                                  mode, src, dest, originals, 1);
        }
    }
}

// Killed right after the N-th rename (the first creates the book, each later one places a file): the file
// is in place without its row, and the rerun records it, once, and removes what the killed run left.
TEST(CliKillTest, ARerunRecordsTheFilesAKilledSavePlacedWithoutRows) {
    constexpr int kFiles = 4;
    for (const std::string mode : {"move", "copy"}) {
        for (const int renames : {2, 3, 5}) {
            const std::string label = mode + " killed after rename " + std::to_string(renames);
            TestFolder dir;
            const fs::path src = dir / "src", dest = dir / "dest";
            auto originals = writeReceipts(src, kFiles);
            const CliRunner cli(dir.path());
            const std::vector<std::string> args = {"save",   "--mode",      mode,
                                                   "--dest", dest.native(), src.native()};
            EXPECT_EQ(cli.run(args, {"TAVORI_KILL_AFTER_RENAME=" + std::to_string(renames)}).exitCode, -1)
                << label;
            const auto rerun = cli.run(args);
            // Moving, the last kill leaves nothing to save: the rerun says so, after completing the book.
            const bool nothingLeft = mode == "move" && renames == kFiles + 1;
            EXPECT_EQ(rerun.exitCode, nothingLeft ? 1 : 0) << label << rerun.err;
            EXPECT_NE(rerun.out.find("前回中断された保存のファイルを索引簿に記録しました"), std::string::npos)
                << label << rerun.out;
            if (mode == "move") expectNothingLostAndEveryFileRecorded(label, mode, src, dest, originals);
            // Copying twice saves each document twice; still, every copy has exactly one row.
            const auto records = parseCsv(readFile(dest / "索引簿.csv"));
            ASSERT_TRUE(records) << label;
            EXPECT_EQ(records->size(), visibleFiles(dest).size() + 1) << label;
            for (const std::string& name : tavori::test::names(dest))
                EXPECT_TRUE(name == "索引簿.csv" || name.front() != '.') << label << ": left behind " << name;
        }
    }
}

}  // namespace
