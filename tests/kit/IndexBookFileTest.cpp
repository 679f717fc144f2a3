#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "TavoriKit/RenameService.h"

namespace tavori {
namespace {

namespace fs = std::filesystem;
using Case = RenameServiceError::Case;

class Folder {
  public:
    Folder() {
        std::string name = (fs::temp_directory_path() / "tavori-book-XXXXXX").string();
        if (::mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = name;
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

  private:
    fs::path path_;
};

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::set<std::string> names(const fs::path& folder) {
    std::set<std::string> result;
    for (const auto& entry : fs::directory_iterator(folder)) result.insert(entry.path().filename().native());
    return result;
}

const std::string bom = "\xEF\xBB\xBF";
const std::string header = "連番,取引年月日,取引金額,取引先,書類種別,ファイル名,登録番号,備考\r\n";

IndexBookEntry entry(std::int64_t sequence, std::string fileName) {
    return {sequence,
            DateComponentsValue{2024, 3, 5},
            1280,
            "セブンイレブン",
            DocumentType::receipt,
            std::move(fileName),
            std::nullopt,
            ""};
}

std::string row(std::int64_t sequence, const std::string& fileName) {
    return std::to_string(sequence) + ",2024/03/05,1280,セブンイレブン,領収書," + fileName + ",,\r\n";
}

const std::vector<IndexBookEntry> twoEntries = {entry(1, "a.pdf"), entry(2, "b.pdf")};

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
    Folder folder;
    const fs::path book = folder / "索引簿.csv";
    if (c.existing) writeFile(book, *c.existing);
    RenameService::appendIndexBook(twoEntries, book);
    EXPECT_EQ(readFile(book), c.expected);
    EXPECT_EQ(names(folder.path()), (std::set<std::string>{"索引簿.csv"}));
}

const std::string threeRows = header + row(1, "x.pdf") + row(2, "y.pdf") + row(3, "z.pdf");
const std::string shiftJisBook = "\x98\x41\x94\xd4,\x8e\xe6\x88\xf8\r\n1,\x83\x65\x83\x58\x83\x67\r\n";

INSTANTIATE_TEST_SUITE_P(
    Books, AppendIndexBookTest,
    testing::Values(
        AppendCase{"NoBookYet", std::nullopt, bom + header + row(1, "a.pdf") + row(2, "b.pdf")},
        AppendCase{"HeaderAndThreeRows", threeRows, threeRows + row(4, "a.pdf") + row(5, "b.pdf")},
        AppendCase{"WithByteOrderMark", bom + threeRows, bom + threeRows + row(4, "a.pdf") + row(5, "b.pdf")},
        AppendCase{"EmptyFile", "", row(1, "a.pdf") + row(2, "b.pdf")},
        AppendCase{"OnlyAByteOrderMark", bom, bom + row(1, "a.pdf") + row(2, "b.pdf")},
        AppendCase{"HeaderOnly", bom + header, bom + header + row(1, "a.pdf") + row(2, "b.pdf")},
        AppendCase{"LastRowWithoutLineBreak", header + "1,,,last,その他,l.pdf,,",
                   header + "1,,,last,その他,l.pdf,,\r\n" + row(2, "a.pdf") + row(3, "b.pdf")},
        AppendCase{"LastRowEndingInCarriageReturn", header + "1,,,last,その他,l.pdf,,\r",
                   header + "1,,,last,その他,l.pdf,,\r\n" + row(2, "a.pdf") + row(3, "b.pdf")},
        AppendCase{"LineFeedsAndBlankLines", "h\n\n1\n\n2\n",
                   "h\n\n1\n\n2\n" + row(3, "a.pdf") + row(4, "b.pdf")},
        AppendCase{
            "QuotedLineBreakIsOneRow", header + "1,,,\"A\r\nB\",その他,q.pdf,,\"x\"\"\ny\"\r\n",
            header + "1,,,\"A\r\nB\",その他,q.pdf,,\"x\"\"\ny\"\r\n" + row(2, "a.pdf") + row(3, "b.pdf")},
        AppendCase{"StrayQuoteInsideAField", header + "1,,,3\" disk,その他,d.pdf,,\r\n",
                   header + "1,,,3\" disk,その他,d.pdf,,\r\n" + row(2, "a.pdf") + row(3, "b.pdf")},
        AppendCase{"NotUtf8KeepsItsBytesAndTheGivenNumbers", shiftJisBook,
                   shiftJisBook + row(1, "a.pdf") + row(2, "b.pdf")}),
    [](const testing::TestParamInfo<AppendCase>& info) { return info.param.name; });

TEST(IndexBookFileTest, NoEntriesLeaveTheBookAlone) {
    Folder folder;
    writeFile(folder / "book.csv", header + "1,,,x");
    RenameService::appendIndexBook({}, folder / "book.csv");
    EXPECT_EQ(readFile(folder / "book.csv"), header + "1,,,x");
}

TEST(IndexBookFileTest, WriteReplacesAWholeBook) {
    Folder folder;
    writeFile(folder / "export.csv",
              "old content that is longer than the new book will be ....................");
    const std::vector<IndexBookEntry> entries = {entry(1, "a.pdf")};
    RenameService::writeIndexBook(entries, folder / "export.csv");
    EXPECT_EQ(readFile(folder / "export.csv"), bom + header + row(1, "a.pdf"));
    EXPECT_EQ(names(folder.path()), (std::set<std::string>{"export.csv"}));
}

// The real calls, except that every write fails with ENOSPC once `allowed` bytes have been written.
FileSystemCalls fullDisk(std::size_t allowed) {
    FileSystemCalls calls = FileSystemCalls::posix();
    auto budget = std::make_shared<std::size_t>(allowed);
    calls.write = [budget](int fd, const void* data, std::size_t size) -> ssize_t {
        if (*budget == 0) {
            errno = ENOSPC;
            return -1;
        }
        const std::size_t n = std::min(size, *budget);
        *budget -= n;
        return FileSystemCalls::posix().write(fd, data, n);
    };
    return calls;
}

TEST(IndexBookFileTest, FullDiskLeavesTheBookAsItWas) {
    Folder folder;
    writeFile(folder / "book.csv", threeRows);
    try {
        RenameService::appendIndexBook(twoEntries, folder / "book.csv", fullDisk(10));
        FAIL() << "no error";
    } catch (const RenameServiceError& error) {
        EXPECT_EQ(error.errorCase(), Case::indexBookNotWritten);
        EXPECT_STREQ(error.what(), "索引簿に書き込めません: book.csv（空き容量が足りません）");
    }
    EXPECT_EQ(readFile(folder / "book.csv"), threeRows);
}

TEST(IndexBookFileTest, FullDiskCreatesNoBook) {
    Folder folder;
    for (bool append : {true, false}) {
        SCOPED_TRACE(append ? "append" : "write");
        try {
            if (append)
                RenameService::appendIndexBook(twoEntries, folder / "book.csv", fullDisk(10));
            else
                RenameService::writeIndexBook(twoEntries, folder / "book.csv", fullDisk(10));
            FAIL() << "no error";
        } catch (const RenameServiceError& error) {
            EXPECT_EQ(error.code(), std::errc::no_space_on_device);
        }
        EXPECT_TRUE(names(folder.path()).empty());
    }
}

TEST(IndexBookFileTest, ABookCreatedMeanwhileIsAppendedTo) {
    Folder folder;
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
    Folder folder;
    const std::vector<std::string> badNames = {"",
                                               ".",
                                               "..",
                                               "sub/book.csv",
                                               "/etc/book.csv",
                                               "../book.csv",
                                               std::string("a\0b.csv", 7),
                                               std::string(256, 'x')};
    for (const std::string& name : badNames) {
        SCOPED_TRACE("name \"" + name + "\"");
        try {
            RenameService::indexBookPath(folder.path(), name);
            FAIL() << "accepted";
        } catch (const RenameServiceError& error) {
            EXPECT_EQ(error.errorCase(), Case::invalidIndexBookName);
            EXPECT_TRUE(std::string(error.what()).starts_with("索引簿のファイル名が正しくありません"))
                << error.what();
        }
    }
    for (const fs::path& book : {folder.path() / "..", folder.path() / ".", folder.path() / ""}) {
        SCOPED_TRACE(book.string());
        EXPECT_THROW(RenameService::appendIndexBook(twoEntries, book), RenameServiceError);
        EXPECT_THROW(RenameService::writeIndexBook(twoEntries, book), RenameServiceError);
    }
    EXPECT_TRUE(names(folder.path()).empty());
    EXPECT_EQ(RenameService::indexBookPath(folder.path(), "索引簿.csv"), folder / "索引簿.csv");
    EXPECT_EQ(RenameService::indexBookPath(folder.path(), "..csv"), folder / "..csv");
}

}  // namespace
}  // namespace tavori
