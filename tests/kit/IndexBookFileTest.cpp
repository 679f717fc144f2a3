#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <optional>

#include "TavoriKit/saving/RenameService.h"
#include "tests/TestFiles.h"

namespace tavori {
namespace {

namespace fs = std::filesystem;
using namespace tavori::test;
using Case = RenameServiceError::Case;

const std::string bom = "\xEF\xBB\xBF";
const std::string header = "連番,取引年月日,取引金額,取引先,書類種別,ファイル名,登録番号,備考\r\n";

std::string row(std::int64_t sequence, const std::string& fileName) {
    return std::to_string(sequence) + ",2024/03/05,1280,セブンイレブン,領収書," + fileName + ",,\r\n";
}

const std::vector<IndexBookEntry> twoEntries = {
    {1, DateComponentsValue{2024, 3, 5}, 1280, "セブンイレブン", DocumentType::receipt, "a.pdf", {}, ""},
    {2, DateComponentsValue{2024, 3, 5}, 1280, "セブンイレブン", DocumentType::receipt, "b.pdf", {}, ""}};
const std::string threeRows = header + row(1, "x.pdf") + row(2, "y.pdf") + row(3, "z.pdf");
const std::string lastRow = header + "1,,,last,その他,l.pdf,,";
const std::string quoted = header + "1,,,\"A\r\nB\",その他,q.pdf,,\"x\"\"\ny\"\r\n";
const std::string stray = header + "1,,,3\" disk,その他,d.pdf,,\r\n";
const std::string shiftJis = "\x98\x41\x94\xd4,\x8e\xe6\x88\xf8\r\n1,\x83\x65\x83\x58\x83\x67\r\n";

struct AppendCase {
    std::string name;
    std::optional<std::string> existing;  // nothing: no book yet
    std::string expected;
};

void PrintTo(const AppendCase& c, std::ostream* os) {
    *os << c.name;
}

class AppendIndexBookTest : public testing::TestWithParam<AppendCase> {};

TEST_P(AppendIndexBookTest, WritesExactlyTheseBytes) {
    const AppendCase& c = GetParam();
    TestFolder folder;
    if (c.existing) writeFile(folder / "索引簿.csv", *c.existing);
    RenameService::appendIndexBook(twoEntries, folder / "索引簿.csv");
    EXPECT_EQ(readFile(folder / "索引簿.csv"), c.expected);
    EXPECT_EQ(names(folder.path()), (std::set<std::string>{"索引簿.csv"}));
}

INSTANTIATE_TEST_SUITE_P(
    Books, AppendIndexBookTest,
    testing::Values(
        AppendCase{"NoBookYet", std::nullopt, bom + header + row(1, "a.pdf") + row(2, "b.pdf")},
        AppendCase{"HeaderAndThreeRows", threeRows, threeRows + row(4, "a.pdf") + row(5, "b.pdf")},
        AppendCase{"ByteOrderMark", bom + threeRows, bom + threeRows + row(4, "a.pdf") + row(5, "b.pdf")},
        AppendCase{"EmptyFile", "", row(1, "a.pdf") + row(2, "b.pdf")},
        AppendCase{"OnlyAByteOrderMark", bom, bom + row(1, "a.pdf") + row(2, "b.pdf")},
        AppendCase{"LastRowWithoutLineBreak", lastRow, lastRow + "\r\n" + row(2, "a.pdf") + row(3, "b.pdf")},
        AppendCase{"LastRowEndingInCarriageReturn", lastRow + "\r",
                   lastRow + "\r\n" + row(2, "a.pdf") + row(3, "b.pdf")},
        AppendCase{"LineFeedsAndBlankLines", "h\n\n1\n\n2\n",
                   "h\n\n1\n\n2\n" + row(3, "a.pdf") + row(4, "b.pdf")},
        AppendCase{"QuotedLineBreakIsOneRow", quoted, quoted + row(2, "a.pdf") + row(3, "b.pdf")},
        AppendCase{"StrayQuoteInsideAField", stray, stray + row(2, "a.pdf") + row(3, "b.pdf")},
        AppendCase{"NotUtf8KeepsItsBytesAndTheGivenNumbers", shiftJis,
                   shiftJis + row(1, "a.pdf") + row(2, "b.pdf")}),
    [](const testing::TestParamInfo<AppendCase>& info) { return info.param.name; });

TEST(IndexBookFileTest, WriteReplacesAWholeBook) {
    TestFolder folder;
    writeFile(folder / "export.csv", std::string(500, 'x'));
    RenameService::writeIndexBook(std::span(twoEntries).first(1), folder / "export.csv");
    EXPECT_EQ(readFile(folder / "export.csv"), bom + header + row(1, "a.pdf"));
    EXPECT_EQ(names(folder.path()), (std::set<std::string>{"export.csv"}));
}

// The real calls, except that every write fails with ENOSPC once `allowed` bytes have been written.
FileSystemCalls fullDisk(std::size_t allowed) {
    FileSystemCalls calls = FileSystemCalls::posix();
    calls.write = [budget = std::make_shared<std::size_t>(allowed)](int fd, const void* data,
                                                                    std::size_t size) -> ssize_t {
        if (*budget == 0) return errno = ENOSPC, -1;
        const std::size_t n = std::min(size, *budget);
        *budget -= n;
        return FileSystemCalls::posix().write(fd, data, n);
    };
    return calls;
}

TEST(IndexBookFileTest, FullDiskLeavesTheFolderAsItWas) {
    TestFolder folder;
    const fs::path book = folder / "book.csv";
    const std::vector<std::function<void()>> writes = {
        [&] { RenameService::writeIndexBook(twoEntries, book, fullDisk(10)); },
        [&] { RenameService::appendIndexBook(twoEntries, book, fullDisk(10)); },
        [&] {
            writeFile(book, threeRows);
            RenameService::appendIndexBook(twoEntries, book, fullDisk(10));
        }};
    for (std::size_t i = 0; i < writes.size(); ++i) {
        SCOPED_TRACE("write " + std::to_string(i));
        try {
            writes[i]();
            ADD_FAILURE() << "no error";
        } catch (const RenameServiceError& error) {
            EXPECT_STREQ(error.what(), "索引簿に書き込めません: book.csv（空き容量が足りません）");
        }
        EXPECT_EQ(names(folder.path()), i < 2 ? std::set<std::string>{} : std::set<std::string>{"book.csv"});
    }
    EXPECT_EQ(readFile(book), threeRows);
}

TEST(IndexBookFileTest, ABookCreatedMeanwhileIsAppendedTo) {
    TestFolder folder;
    const fs::path book = folder / "book.csv";
    FileSystemCalls calls = FileSystemCalls::posix();
    calls.renameNoReplace = [book](const char* from, const char* to) {
        if (fs::path(to) == book) writeFile(book, threeRows);
        return FileSystemCalls::posix().renameNoReplace(from, to);
    };
    RenameService::appendIndexBook(twoEntries, book, calls);
    EXPECT_EQ(readFile(book), threeRows + row(4, "a.pdf") + row(5, "b.pdf"));
    EXPECT_EQ(names(folder.path()), (std::set<std::string>{"book.csv"}));
}

TEST(IndexBookFileTest, BadFileNamesWriteNothing) {
    TestFolder folder;
    for (const std::string& name :
         {std::string(), std::string("."), std::string(".."), std::string("sub/book.csv"),
          std::string("../book.csv"), std::string("a\0b", 3), std::string(256, 'x')}) {
        SCOPED_TRACE("name \"" + name + "\"");
        try {
            RenameService::indexBookPath(folder.path(), name);
            ADD_FAILURE() << "accepted";
        } catch (const RenameServiceError& error) {
            EXPECT_EQ(error.errorCase(), Case::invalidIndexBookName);
            EXPECT_TRUE(std::string(error.what()).starts_with("索引簿のファイル名が正しくありません: 「"));
        }
    }
    for (const fs::path& book : {folder / "..", folder / ".", folder.path() / ""}) {
        EXPECT_THROW(RenameService::appendIndexBook(twoEntries, book), RenameServiceError) << book;
        EXPECT_THROW(RenameService::writeIndexBook(twoEntries, book), RenameServiceError) << book;
    }
    EXPECT_TRUE(names(folder.path()).empty());
    EXPECT_EQ(RenameService::indexBookPath(folder.path(), "..索引簿.csv"), folder / "..索引簿.csv");
}

}  // namespace
}  // namespace tavori
