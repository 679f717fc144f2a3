#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>

#include "../TestFiles.h"
#include "TavoriKit/base/FileDescriptor.h"
#include "TavoriKit/saving/SavePlanner.h"

namespace fs = std::filesystem;
using tavori::FileSystemCalls;
using tavori::ReceiptFields;
using tavori::RenamePlan;
using tavori::RenameServiceError;
using tavori::SaveDocument;
using tavori::SaveSettings;
using tavori::test::names;
using tavori::test::readFile;
using tavori::test::TestFolder;
using tavori::test::writeFile;
namespace SavePlanner = tavori::SavePlanner;
using Case = RenameServiceError::Case;

namespace {

constexpr const char* kHeader = "連番,取引年月日,取引金額,取引先,書類種別,ファイル名,登録番号,備考\r\n";

ReceiptFields fields(const std::string& vendor, std::int64_t amount) {
    ReceiptFields f;
    f.date = tavori::DateComponentsValue{2024, 3, 5};
    f.vendor = vendor;
    f.amount = amount;
    f.documentType = tavori::DocumentType::receipt;
    return f;
}

class SavePlannerTest : public ::testing::Test {
  protected:
    TestFolder dir;
    fs::path in = dir / "in";
    fs::path out = dir / "out";

    SaveDocument document(const std::string& name, const std::string& vendor, std::int64_t amount) {
        writeFile(in / name, "bytes of " + name);
        return SaveDocument{in / name, fields(vendor, amount), std::nullopt};
    }
    SaveSettings settings(RenamePlan::Mode mode, bool withDestination = true) {
        SaveSettings s;
        s.mode = mode;
        if (withDestination) s.destination = out;
        return s;
    }
    std::vector<SaveDocument> threeDocuments() {
        return {document("a.pdf", "青空商店", 100), document("b.PDF", "青空商店", 100),
                document("c.pdf", "海辺食堂", 300)};
    }
};

TEST_F(SavePlannerTest, ThePreviewNamesAreTheNamesTheSaveGives) {
    for (const RenamePlan::Mode mode : tavori::allRenameModes) {
        SCOPED_TRACE(rawValue(mode));
        std::error_code ec;
        fs::remove_all(in, ec);
        fs::remove_all(out, ec);
        auto documents = threeDocuments();
        // One name already taken in each target folder, in another case; and a file that already has its
        // name.
        writeFile(out / "20240305_青空商店_100.PDF", "someone else's");
        writeFile(in / "20240305_青空商店_100.pdf", "someone else's");
        documents.push_back(document("20240305_海辺食堂_300.pdf", "海辺食堂", 300));
        const SaveSettings s = settings(mode);

        const auto preview = SavePlanner::preview(documents, s);
        const auto report = SavePlanner::save(documents, s);
        ASSERT_TRUE(report.succeeded()) << *report.failure;
        ASSERT_EQ(report.results.size(), preview.destinations.size());
        for (std::size_t i = 0; i < report.results.size(); ++i)
            EXPECT_EQ(report.results[i].destination, preview.destinations[i]) << i;
        EXPECT_EQ(preview.indexBook, out / "索引簿.csv");
        EXPECT_EQ(report.indexBook, preview.indexBook);
    }
}

TEST_F(SavePlannerTest, EachRowIsOnDiskBeforeTheNextFileMoves) {
    const auto documents = threeDocuments();
    std::vector<std::size_t> rowsSeen;
    const auto report = SavePlanner::save(documents, settings(RenamePlan::Mode::move),
                                          [&](std::size_t, const tavori::RenameResult&) {
                                              const std::string book = readFile(out / "索引簿.csv");
                                              rowsSeen.push_back(std::count(book.begin(), book.end(), '\n'));
                                          });
    ASSERT_TRUE(report.succeeded());
    // The header and the file's own row are there when the file is reported.
    EXPECT_EQ(rowsSeen, (std::vector<std::size_t>{2, 3, 4}));
    EXPECT_EQ(readFile(out / "索引簿.csv"),
              std::string("\xEF\xBB\xBF") + kHeader +
                  "1,2024/03/05,100,青空商店,領収書,20240305_青空商店_100.pdf,,\r\n" +
                  "2,2024/03/05,100,青空商店,領収書,20240305_青空商店_100 (2).pdf,,\r\n" +
                  "3,2024/03/05,300,海辺食堂,領収書,20240305_海辺食堂_300.pdf,,\r\n");
}

TEST_F(SavePlannerTest, AStopRecordsTheFilesBeforeItAndCountsTheRest) {
    struct Failure {
        const char* label;
        std::function<void(FileSystemCalls&)> inject;
        Case expected;
        std::size_t saved;
        std::size_t rows;
    };
    const std::vector<Failure> failures = {
        {"second file cannot be placed",
         [](FileSystemCalls& calls) {
             calls.renameNoReplace = [](const char* from, const char* to) {
                 if (std::strstr(from, "b.PDF")) {
                     errno = EIO;
                     return -1;
                 }
                 return FileSystemCalls::posix().renameNoReplace(from, to);
             };
         },
         Case::moveFailed, 1, 1},
        {"second row cannot be written",
         [](FileSystemCalls& calls) {
             calls.write = [](int fd, const void* data, std::size_t size) -> ssize_t {
                 if (std::string_view(static_cast<const char*>(data), size).starts_with("2,")) {
                     errno = ENOSPC;
                     return -1;
                 }
                 return FileSystemCalls::posix().write(fd, data, size);
             };
         },
         Case::indexBookNotWritten, 2, 1},
    };
    for (const Failure& f : failures) {
        SCOPED_TRACE(f.label);
        std::error_code ec;
        fs::remove_all(in, ec);
        fs::remove_all(out, ec);
        const auto documents = threeDocuments();
        FileSystemCalls calls = FileSystemCalls::posix();
        f.inject(calls);
        const auto report = SavePlanner::save(documents, settings(RenamePlan::Mode::move), {}, calls);
        ASSERT_FALSE(report.succeeded());
        EXPECT_EQ(report.failureCase, f.expected);
        EXPECT_EQ(report.results.size(), f.saved);
        const std::string notSaved = "（" + std::to_string(3 - f.saved) + "件は保存されていません）";
        EXPECT_TRUE(report.failure->ends_with(notSaved)) << *report.failure;
        const std::string book = readFile(out / "索引簿.csv");
        EXPECT_EQ(static_cast<std::size_t>(std::count(book.begin(), book.end(), '\n')), f.rows + 1) << book;
        EXPECT_TRUE(fs::exists(in / "c.pdf")) << "the plan after the stop is not attempted";
        if (f.expected != Case::indexBookNotWritten) continue;
        // The file without its row is named, and the next save into the folder records it, once.
        EXPECT_NE(report.failure->find("「20240305_青空商店_100 (2).pdf」は保存されましたが"),
                  std::string::npos)
            << *report.failure;
        for (int run = 0; run < 2; ++run) {
            const auto next = SavePlanner::save(std::vector{document("d.pdf", "山の上", 400)},
                                                settings(RenamePlan::Mode::move));
            ASSERT_TRUE(next.succeeded()) << *next.failure;
            EXPECT_EQ(next.recovered.size(), run == 0 ? 1u : 0u);
        }
        EXPECT_EQ(readFile(out / "索引簿.csv"),
                  std::string("\xEF\xBB\xBF") + kHeader +
                      "1,2024/03/05,100,青空商店,領収書,20240305_青空商店_100.pdf,,\r\n" +
                      "2,2024/03/05,100,青空商店,領収書,20240305_青空商店_100 (2).pdf,,\r\n" +
                      "3,2024/03/05,400,山の上,領収書,20240305_山の上_400.pdf,,\r\n" +
                      "4,2024/03/05,400,山の上,領収書,20240305_山の上_400 (2).pdf,,\r\n");
        EXPECT_EQ(names(out).size(), 5u) << "no journal or temporary file is left";
    }
}

TEST_F(SavePlannerTest, WhatCanBeCheckedFirstStopsTheSaveBeforeAnythingMoves) {
    struct Check {
        const char* label;
        std::function<void(SaveSettings&)> arrange;
        Case expected;
    };
    const std::vector<Check> checks = {
        {"no destination", [](SaveSettings& s) { s.destination.reset(); }, Case::destinationMissing},
        {"book name with a folder", [](SaveSettings& s) { s.indexBookFileName = "../book.csv"; },
         Case::invalidIndexBookName},
        {"empty book name", [](SaveSettings& s) { s.indexBookFileName = ""; }, Case::invalidIndexBookName},
        {"book is a link",
         [&](SaveSettings&) {
             writeFile(dir / "elsewhere.csv", "");
             fs::create_directories(out);
             fs::create_symlink(dir / "elsewhere.csv", out / "索引簿.csv");
         },
         Case::indexBookNotRegularFile},
        {"book is a dangling link",
         [&](SaveSettings&) {
             fs::create_directories(out);
             fs::create_symlink(dir / "nowhere.csv", out / "索引簿.csv");
         },
         Case::indexBookNotRegularFile},
        {"book is a folder", [&](SaveSettings&) { fs::create_directories(out / "索引簿.csv"); },
         Case::indexBookNotRegularFile},
        {"book in Shift_JIS", [&](SaveSettings&) { writeFile(out / "索引簿.csv", "\x98\x41\x94\xd4\r\n"); },
         Case::indexBookNotUtf8},
        {"destination is a file", [&](SaveSettings&) { writeFile(out, "x"); }, Case::destinationNotWritable},
        {"destination below a file",
         [&](SaveSettings& s) {
             writeFile(out, "x");
             s.destination = out / "sub";
         },
         Case::destinationNotWritable},
    };
    for (const Check& c : checks) {
        SCOPED_TRACE(c.label);
        std::error_code ec;
        fs::remove_all(in, ec);
        fs::remove_all(out, ec);
        const auto documents = threeDocuments();
        SaveSettings s = settings(RenamePlan::Mode::move);
        c.arrange(s);
        const auto report = SavePlanner::save(documents, s);
        EXPECT_EQ(report.failureCase, c.expected) << report.failure.value_or("");
        EXPECT_TRUE(report.results.empty());
        EXPECT_EQ(names(in), (std::set<std::string>{"a.pdf", "b.PDF", "c.pdf"})) << "nothing moved";
        EXPECT_THROW(SavePlanner::preview(documents, s), RenameServiceError);
    }

    // Without a book, its name does not matter; a destination that does not exist yet is made.
    std::error_code ec;
    fs::remove_all(in, ec);
    fs::remove_all(out, ec);
    const auto documents = threeDocuments();
    SaveSettings s = settings(RenamePlan::Mode::copy);
    s.writeIndexBook = false;
    s.indexBookFileName = "../book.csv";
    s.destination = out / "new" / "folder";
    const auto report = SavePlanner::save(documents, s);
    EXPECT_TRUE(report.succeeded()) << *report.failure;
    EXPECT_EQ(names(out / "new" / "folder").size(), 3u);
}

TEST(SavePlannerBook, TheBookIsTheDestinationsOrRenamingInPlaceBesideTheFirstDocument) {
    const fs::path first = "/in/a.pdf";
    struct Case {
        RenamePlan::Mode mode;
        std::optional<fs::path> destination, firstSource, book;
    } cases[] = {
        {RenamePlan::Mode::copy, "/dest", first, "/dest/索引簿.csv"},
        {RenamePlan::Mode::renameInPlace, "/dest", std::nullopt, "/dest/索引簿.csv"},
        {RenamePlan::Mode::renameInPlace, std::nullopt, first, "/in/索引簿.csv"},
        {RenamePlan::Mode::renameInPlace, std::nullopt, std::nullopt, std::nullopt},
        {RenamePlan::Mode::move, std::nullopt, first, std::nullopt},  // a save would stop: no destination
    };
    for (const Case& c : cases) {
        SaveSettings settings;
        settings.mode = c.mode;
        settings.destination = c.destination;
        EXPECT_EQ(SavePlanner::indexBook(settings, c.firstSource), c.book);
    }
}

TEST_F(SavePlannerTest, AnExportReplacesAFileOnlyWhenAllowed) {
    std::vector<SaveDocument> documents = {document("a.JPG", "青空商店", 100),
                                           document("c.pdf", "海辺食堂", 300)};
    documents[1].savedAs = out / "保存済み.pdf";
    const auto entries = SavePlanner::exportEntries(documents, tavori::FileNameTemplate::standard());
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].fileName, "20240305_青空商店_100.JPG") << "the extension as it stands";
    EXPECT_EQ(entries[1].fileName, "保存済み.pdf");
    EXPECT_EQ(entries[1].sequence, 2);

    writeFile(dir / "book.csv", "the user's own file");
    fs::create_symlink(in / "a.JPG", dir / "link.csv");
    for (const char* name : {"book.csv", "link.csv"}) {
        try {
            SavePlanner::writeExport(entries, dir / name, false);
            ADD_FAILURE() << name << " was replaced";
        } catch (const RenameServiceError& error) {
            EXPECT_EQ(error.errorCase(), Case::exportTargetExists) << name;
            EXPECT_EQ(std::string(error.what()), std::string("同じ名前のファイルが既にあります: ") + name);
        }
    }
    EXPECT_EQ(readFile(dir / "book.csv"), "the user's own file");
    EXPECT_EQ(readFile(in / "a.JPG"), "bytes of a.JPG") << "the link's target is untouched";

    SavePlanner::writeExport(entries, dir / "book.csv", true);
    EXPECT_TRUE(readFile(dir / "book.csv").starts_with("\xEF\xBB\xBF連番"));
    SavePlanner::writeExport(entries, dir / "new.csv", false);
    EXPECT_EQ(readFile(dir / "new.csv"), readFile(dir / "book.csv"));
}

// A copy a killed save left under its temporary name goes with the next save into the folder; one that a
// running save still holds stays.
TEST_F(SavePlannerTest, TheNextSaveRemovesTemporaryFilesNoSaveHolds) {
    writeFile(out / ".tavori-00000000000000ab.tmp", "complete copy of a killed save");
    writeFile(out / ".tavori-notes.txt", "not ours");
    const tavori::FileIO::Temporary held =
        tavori::FileIO::createTemporary(FileSystemCalls::posix(), out, 0600);
    ASSERT_GE(held.fd.get(), 0);
    const auto report =
        SavePlanner::save(std::vector{document("a.pdf", "青空商店", 100)}, settings(RenamePlan::Mode::copy));
    ASSERT_TRUE(report.succeeded()) << *report.failure;
    EXPECT_EQ(names(out), (std::set<std::string>{".tavori-notes.txt", held.path.filename().native(),
                                                 "20240305_青空商店_100.pdf", "索引簿.csv"}));
}

}  // namespace
