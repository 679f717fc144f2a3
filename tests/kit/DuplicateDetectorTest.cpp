#include <gtest/gtest.h>

#include "TavoriKit/indexbook/DuplicateCheck.h"
#include "TavoriKit/indexbook/DuplicateDetector.h"
#include "TavoriKit/indexbook/IndexBookLibrary.h"
#include "TavoriKit/saving/RenameService.h"
#include "tests/TestFiles.h"

namespace tavori {
namespace {

namespace fs = std::filesystem;
using namespace tavori::test;
using Reason = PossibleDuplicate::Reason;
using Origin = PossibleDuplicate::Origin;

const DateComponentsValue kDay{2024, 3, 15};

IndexBookEntry row(std::int64_t amount, std::string vendor, std::string fileName) {
    return {1, kDay, amount, std::move(vendor), DocumentType::receipt, std::move(fileName), std::nullopt, ""};
}

DuplicateDocument document(const fs::path& file, std::optional<std::int64_t> amount, std::string vendor) {
    return {file, DuplicateRecord{kDay, amount, std::move(vendor), file.filename().string()}};
}

// What each document was warned about, as (reason, origin, other file name) triples.
using Found = std::vector<std::tuple<Reason, Origin, std::string>>;
std::vector<Found> summary(const std::vector<std::vector<PossibleDuplicate>>& all) {
    std::vector<Found> out;
    for (const auto& list : all) {
        Found found;
        for (const auto& d : list) found.emplace_back(d.reason, d.origin, d.other.fileName);
        out.push_back(found);
    }
    return out;
}

// A destination that already holds two saved receipts and their book, the second saved under a collision
// suffix, and an inbox of new documents.
class DuplicateDetectorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        writeFile(dest / "20240315_セブンイレブン_302.pdf", "receipt A");
        writeFile(dest / "20240315_セブンイレブン_302 (2).pdf", "receipt B");
        writeFile(dest / "unbooked.pdf", "receipt C");
        rows = {row(302, "セブンイレブン", "20240315_セブンイレブン_302.pdf"),
                row(302, "ローソン", "20240315_セブンイレブン_302 (2).pdf")};
        RenameService::appendIndexBook(rows, book);
    }

    DuplicateDetector detector(std::shared_ptr<FileDigests> digests = std::make_shared<FileDigests>()) {
        DuplicateDetector d(VendorAliasDictionary{}, std::move(digests));
        d.setBook(book, IndexBookLibrary::read(book).rows);
        return d;
    }

    TestFolder root;
    fs::path dest = root / "dest";
    fs::path inbox = root / "inbox";
    fs::path book = dest / "索引簿.csv";
    std::vector<IndexBookEntry> rows;
};

TEST_F(DuplicateDetectorTest, ByFieldsAndByContentAgainstTheBookAndTheList) {
    writeFile(inbox / "photo.jpg", "photo of A");     // A again, photographed: fields only
    writeFile(inbox / "copy-of-b.pdf", "receipt B");  // B's file again, read differently
    writeFile(inbox / "copy-of-c.pdf", "receipt C");  // a file saved beside the book but not booked
    writeFile(inbox / "new1.pdf", "new receipt");     // two copies of one new receipt in the list
    writeFile(inbox / "new2.pdf", "new receipt");
    writeFile(inbox / "lunch1.pdf", "lunch, scan");  // one receipt scanned and photographed
    writeFile(inbox / "lunch2.jpg", "lunch, photo");
    writeFile(inbox / "other.pdf", "something else");  // same name pattern, different receipt

    const std::vector<DuplicateDocument> list = {
        document(inbox / "photo.jpg", 302, "セブン-イレブン 渋谷店"),
        document(inbox / "copy-of-b.pdf", 9999, "?"),
        document(inbox / "copy-of-c.pdf", std::nullopt, ""),
        document(inbox / "new1.pdf", 1, "A"),
        document(inbox / "new2.pdf", 2, "B"),
        document(inbox / "lunch1.pdf", 880, "すき家"),
        document(inbox / "lunch2.jpg", 880, "すき家"),
        document(inbox / "other.pdf", 303, "セブンイレブン"),
    };
    const std::vector<Found> expected = {
        {{Reason::sameFields, Origin::book, "20240315_セブンイレブン_302.pdf"}},
        {{Reason::sameContent, Origin::book, "20240315_セブンイレブン_302 (2).pdf"}},
        {{Reason::sameContent, Origin::book, "unbooked.pdf"}},
        {{Reason::sameContent, Origin::list, "new2.pdf"}},
        {{Reason::sameContent, Origin::list, "new1.pdf"}},
        {{Reason::sameFields, Origin::list, "lunch2.jpg"}},
        {{Reason::sameFields, Origin::list, "lunch1.pdf"}},
        {},
    };
    const auto found = detector().check(list);
    EXPECT_EQ(summary(found), expected);

    // The warning shows the booked row's fields and the name the file was actually saved under.
    EXPECT_EQ(found[1][0].message(),
              "重複の可能性: 2024/03/15 ¥302 ローソン（20240315_セブンイレブン_302 (2).pdf）");
    EXPECT_EQ(found[2][0].message(), "重複の可能性: 同じ内容のファイル（unbooked.pdf）");
}

TEST_F(DuplicateDetectorTest, ADocumentIsNotItsOwnDuplicate) {
    // Documents read where they were saved: their own row and their own file are not other receipts, and a
    // second link to one file in the list is the same document.
    fs::create_directories(inbox);
    fs::create_hard_link(dest / "unbooked.pdf", inbox / "link.pdf");
    const std::vector<DuplicateDocument> list = {
        document(dest / "20240315_セブンイレブン_302.pdf", 302, "セブンイレブン"),
        document(dest / "unbooked.pdf", std::nullopt, ""),
        document(inbox / "link.pdf", std::nullopt, ""),
    };
    EXPECT_EQ(summary(detector().check(list)), (std::vector<Found>{{}, {}, {}}));
}

TEST_F(DuplicateDetectorTest, ASavedNameWithACollisionSuffixIsNotTakenForTheSameReceipt) {
    // A new receipt whose template name is the saved one's: different day's purchase of the same amount at
    // the same shop on another date, and one that differs only in amount.
    writeFile(inbox / "20240315_セブンイレブン_302.pdf", "a different receipt");
    writeFile(inbox / "20240315_セブンイレブン_302 (2).pdf", "yet another");
    const std::vector<DuplicateDocument> list = {
        {inbox / "20240315_セブンイレブン_302.pdf",
         DuplicateRecord{DateComponentsValue{2024, 3, 16}, 302, "セブンイレブン", "x"}},
        {inbox / "20240315_セブンイレブン_302 (2).pdf", DuplicateRecord{kDay, 301, "ローソン", "y"}},
    };
    EXPECT_EQ(summary(detector().check(list)), (std::vector<Found>{{}, {}}));
}

TEST_F(DuplicateDetectorTest, ContentsAreReadOnceAndOnlyWhenSizesMatch) {
    auto digests = std::make_shared<FileDigests>();
    writeFile(inbox / "a.pdf", "receipt A");               // the size of every saved file: all three are read
    writeFile(inbox / "big.pdf", std::string(4096, 'x'));  // no file of its size: nothing is read
    auto d = detector(digests);
    const std::vector<DuplicateDocument> list = {document(inbox / "a.pdf", 1, "Z"),
                                                 document(inbox / "big.pdf", 2, "Y")};
    EXPECT_EQ(summary(d.check(list))[0],
              (Found{{Reason::sameContent, Origin::book, "20240315_セブンイレブン_302.pdf"}}));
    EXPECT_EQ(digests->filesRead(), 4u);
    d.check(list);
    EXPECT_EQ(digests->filesRead(), 4u);

    // A file saved since is seen, and a changed file is read again.
    writeFile(dest / "later.pdf", std::string(4096, 'x'));
    const auto again = summary(d.check(list));
    EXPECT_EQ(again[1], (Found{{Reason::sameContent, Origin::book, "later.pdf"}}));
    EXPECT_EQ(digests->filesRead(), 6u);
}

TEST_F(DuplicateDetectorTest, TheCheckFollowsTheBookAndKeepsComparingItsFolderWhenTheBookIsUnreadable) {
    writeFile(inbox / "a.pdf", "receipt A");
    writeFile(inbox / "b.pdf", "a new one");
    DuplicateCheck check;
    check.setBook(book);
    // The document added first has nothing in the list before it; its copy after it has.
    EXPECT_EQ(summary({check.add(document(inbox / "b.pdf", 500, "ファミマ"))}), (std::vector<Found>{{}}));
    EXPECT_EQ(summary({check.add(document(inbox / "b.pdf", 500, "ファミマ"))})[0],
              (Found{{Reason::sameFields, Origin::list, "b.pdf"}}));

    // A row appended since is found, without a new check.
    const IndexBookEntry appended = row(500, "ファミマ", "saved.pdf");
    RenameService::appendIndexBook({&appended, 1}, book);
    check.setBook(book);
    const std::vector<DuplicateDocument> list = {document(inbox / "a.pdf", 1, "Z"),
                                                 document(inbox / "b.pdf", 500, "ファミマ")};
    EXPECT_EQ(summary(check.check(list))[1], (Found{{Reason::sameFields, Origin::book, "saved.pdf"}}));
    EXPECT_FALSE(check.bookError());

    // A book that is not text loses its rows but not its folder; the reason names it.
    writeFile(book, std::string("\xff\xfe\x00garbage", 10));
    check.setBook(book);
    ASSERT_TRUE(check.bookError());
    EXPECT_NE(check.bookError()->find(book.filename().string()), std::string::npos);
    EXPECT_EQ(
        summary(check.check(list)),
        (std::vector<Found>{{{Reason::sameContent, Origin::book, "20240315_セブンイレブン_302.pdf"}}, {}}));
}

}  // namespace
}  // namespace tavori
