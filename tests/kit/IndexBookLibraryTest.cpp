#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "TavoriCore/IndexBookCSV.h"
#include "TavoriKit/indexbook/IndexBookLibrary.h"
#include "TavoriKit/saving/RenameService.h"
#include "tests/TestFiles.h"

namespace tavori {
namespace {

namespace fs = std::filesystem;
using namespace tavori::test;
using Case = IndexBookReadError::Case;

IndexBookEntry entry(DateComponentsValue date, std::int64_t amount, std::string vendor,
                     std::string fileName) {
    return {1, date, amount, std::move(vendor), DocumentType::receipt, std::move(fileName), std::nullopt, ""};
}

TEST(IndexBookLibrary, SearchesSeveralBooksFoundByFileOrFolder) {
    TestFolder folder;
    const fs::path a = folder / "2024" / "索引簿.csv";
    const fs::path b = folder / "other" / "帳簿.csv";
    fs::create_directories(a.parent_path());
    // Written by the program's own writer, then appended to, as saves leave it.
    RenameService::appendIndexBook(std::vector{entry({2024, 3, 5}, 1280, "セブンイレブン", "a.pdf"),
                                               entry({2024, 1, 9}, 300, "ローソン", "b.pdf")},
                                   a);
    RenameService::appendIndexBook(std::vector{entry({2024, 3, 5}, 500, "セブン-イレブン", "c.pdf")}, a);
    writeFile(b, "取引年月日,取引金額,取引先,ファイル名\n2024/3/5,90,ｾﾌﾞﾝ,d.pdf\n2024/2/1,70,セブン,e.pdf\n");
    writeFile(folder / "2024" / "a.pdf", "pdf");
    writeFile(folder / "other" / "e.pdf", "pdf");

    const std::vector<fs::path> targets = {folder / "2024", b};
    const auto books = IndexBookLibrary::readAll(targets, "索引簿.csv");
    ASSERT_EQ(books.size(), 2u);
    EXPECT_EQ(books[0].path, a);
    EXPECT_EQ(books[0].rows.size(), 3u);
    EXPECT_EQ(books[0].rows[2].sequence, 3);

    IndexBookQuery query;
    query.vendor = "セブン";
    const auto hits = IndexBookLibrary::search(books, query);
    std::vector<std::tuple<std::string, fs::path, bool>> seen;
    for (const auto& hit : hits) seen.emplace_back(hit.entry.fileName, hit.document, hit.documentExists);
    // Date order across both books; one date keeps book order, then row order.
    const std::vector<std::tuple<std::string, fs::path, bool>> expected = {
        {"e.pdf", folder / "other" / "e.pdf", true},
        {"a.pdf", folder / "2024" / "a.pdf", true},
        {"c.pdf", folder / "2024" / "c.pdf", false},
    };
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(hits[0].book, b);
}

// The same book named as its folder, as the file and through "./" is read once; a stray quote in row 2 is
// reported and hides none of the other rows; a device or pipe named like a book is refused, not read.
TEST(IndexBookLibrary, StreamedSearchReadsEachBookOnceAndWhole) {
    TestFolder folder;
    const fs::path book = folder / "索引簿.csv";
    std::string text = "連番,取引年月日,取引金額,取引先,書類種別,ファイル名,登録番号,備考\r\n";
    for (int i = 1; i <= 999; ++i)
        text += std::to_string(i) + ",2024/03/05," + std::to_string(i) + (i == 2 ? ",\"壊れた" : ",X") +
                ",領収書,f" + std::to_string(i) + ".pdf,,\r\n";
    writeFile(book, text);
    const std::vector<fs::path> targets = {folder.path(), book, folder.path() / "." / "索引簿.csv"};
    IndexBookQuery query;
    query.minAmount = 500;
    std::vector<std::string> warnings;
    const auto hits = IndexBookLibrary::searchFiles(targets, "索引簿.csv", query, &warnings);
    EXPECT_EQ(hits.size(), 500u);
    EXPECT_EQ(IndexBookLibrary::searchFiles(targets, "索引簿.csv", {}).size(), 998u);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("3行目: 引用符（\"）が閉じていないため"), std::string::npos) << warnings[0];

    ASSERT_EQ(::mkfifo((folder / "pipe.csv").c_str(), 0600), 0);
    for (const fs::path& device : {folder / "pipe.csv", fs::path("/dev/zero")}) {
        try {
            IndexBookLibrary::searchFiles(std::vector{device}, "索引簿.csv", {});
            ADD_FAILURE() << device;
        } catch (const IndexBookReadError& e) {
            EXPECT_EQ(e.errorCase(), Case::unreadable) << device;
            EXPECT_NE(std::string(e.what()).find("通常のファイルではありません"), std::string::npos)
                << e.what();
        }
    }
}

// The streamed search keeps its rows packed as bytes; every field comes back as the book holds it.
TEST(IndexBookLibrary, StreamedSearchGivesTheRowsAsReadWhole) {
    TestFolder folder;
    IndexBookEntry full{7,
                        DateComponentsValue{2025, 12, 31},
                        -1234567890123,
                        "㈱テスト\"商店\"",
                        DocumentType::invoice,
                        "a,b.pdf",
                        "T1234567890123",
                        "備考\n二行"};
    full.taxBreakdown = std::vector<TaxRateAmount>{{10, 11000, 1000, true}, {8, 540, std::nullopt, false}};
    IndexBookEntry bare{8, std::nullopt, std::nullopt, "", DocumentType::other, "b.pdf", std::nullopt, ""};
    bare.taxBreakdown = std::vector<TaxRateAmount>{};
    writeFile(folder / "索引簿.csv", IndexBookCSV::render(std::vector{bare, full, full}, true, true));
    const std::vector<fs::path> targets = {folder.path()};
    const auto whole = IndexBookLibrary::search(IndexBookLibrary::readAll(targets, "索引簿.csv"), {});
    ASSERT_EQ(whole.size(), 3u);
    EXPECT_EQ(whole[0].entry.vendor, full.vendor);
    EXPECT_EQ(IndexBookLibrary::searchFiles(targets, "索引簿.csv", {}), whole);
}

TEST(IndexBookLibrary, DocumentsResolveOnlyBesideTheirBook) {
    TestFolder folder;
    writeFile(folder / "secret.pdf", "x");
    const fs::path book = folder / "books" / "索引簿.csv";
    std::string text = "連番,取引年月日,取引金額,取引先,書類種別,ファイル名,登録番号,備考\r\n";
    for (const char* name : {"../secret.pdf", "/etc/passwd", "..", "", "sub/x.pdf", "ok.pdf"})
        text += std::string("1,2024/03/05,1,X,領収書,") + name + ",,\r\n";
    writeFile(book, text);
    writeFile(folder / "books" / "ok.pdf", "x");
    const auto hits = IndexBookLibrary::search(std::vector{IndexBookLibrary::read(book)}, {});
    ASSERT_EQ(hits.size(), 6u);
    for (std::size_t k = 0; k + 1 < hits.size(); ++k) {
        EXPECT_TRUE(hits[k].document.empty()) << hits[k].entry.fileName;
        EXPECT_FALSE(hits[k].documentExists) << hits[k].entry.fileName;
    }
    EXPECT_EQ(hits.back().document, folder / "books" / "ok.pdf");
    EXPECT_TRUE(hits.back().documentExists);
}

TEST(IndexBookLibrary, FailuresNameTheBook) {
    TestFolder folder;
    writeFile(folder / "broken.csv", std::string("\x81\xFD\xFF\xFE", 4));
    writeFile(folder / "table.csv", "a,b\r\n1,2\r\n");
    writeFile(folder / "locked.csv", "連番,取引年月日,取引金額,取引先\r\n");
    ::chmod((folder / "locked.csv").c_str(), 0);
    fs::create_directories(folder / "empty");

    struct Example {
        fs::path target;
        Case expected;
        std::string message;
    };
    std::vector<Example> examples = {
        {folder / "missing.csv", Case::notFound,
         "索引簿が見つかりません: " + (folder / "missing.csv").string()},
        {folder / "empty", Case::notFound,
         "索引簿が見つかりません: " + (folder / "empty" / "索引簿.csv").string()},
        {folder / "broken.csv", Case::notText,
         "索引簿を読めません: " + (folder / "broken.csv").string() +
             "（文字コードがUTF-8でもShift_JISでもありません）"},
        {folder / "table.csv", Case::notIndexBook, ""},
    };
    // Root reads every file whatever its mode.
    if (::geteuid() != 0)
        examples.push_back(
            {folder / "locked.csv", Case::unreadable,
             "索引簿を開けません: " + (folder / "locked.csv").string() + "（読み取りの権限がありません）"});
    for (const auto& example : examples) {
        SCOPED_TRACE(example.target.string());
        try {
            IndexBookLibrary::readAll(std::vector{example.target}, "索引簿.csv");
            ADD_FAILURE() << "read";
        } catch (const IndexBookReadError& e) {
            EXPECT_EQ(e.errorCase(), example.expected);
            if (!example.message.empty()) {
                EXPECT_EQ(std::string(e.what()), example.message);
            }
        }
    }
}

}  // namespace
}  // namespace tavori
