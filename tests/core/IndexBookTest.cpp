#include <gtest/gtest.h>

#include "TavoriCore/IndexBookCSV.h"

namespace tavori {
namespace {

const std::string kHeader = "連番,取引年月日,取引金額,取引先,書類種別,ファイル名,登録番号,備考\r\n";
const std::string kBom = "\xEF\xBB\xBF";

IndexBookEntry seven(std::string vendor = "セブンイレブン", std::string note = "") {
    return {1,
            DateComponentsValue{2024, 3, 5},
            1280,
            std::move(vendor),
            DocumentType::receipt,
            "20240305_セブンイレブン_1280.pdf",
            std::nullopt,
            std::move(note)};
}

// The record of seven() with its vendor field written as `vendor` and its note as `note`.
std::string sevenRecord(std::string_view vendor = "セブンイレブン", std::string_view note = "") {
    return "1,2024/03/05,1280," + std::string(vendor) + ",領収書,20240305_セブンイレブン_1280.pdf,," +
           std::string(note) + "\r\n";
}

TEST(IndexBookCSV, RendersExactBytes) {
    struct Case {
        const char* name;
        std::vector<IndexBookEntry> entries;
        bool excelCompatible;
        std::string expected;
    };
    const IndexBookEntry bare{2, std::nullopt, std::nullopt, "", DocumentType::other, "a.pdf", std::nullopt,
                              ""};
    const IndexBookEntry full{12,
                              DateComponentsValue{987, 1, 2},
                              -1200,
                              "ABC",
                              DocumentType::orderConfirmation,
                              "b c.jpg",
                              "T1234567890123",
                              "memo"};
    IndexBookEntry invalidName = bare;
    invalidName.fileName = "scan\xff,.pdf";
    const std::string fullRecord = "12,0987/01/02,-1200,ABC,注文書,b c.jpg,T1234567890123,memo\r\n";
    const std::vector<Case> cases = {
        {"no entries", {}, false, kHeader},
        {"no entries with BOM", {}, true, kBom + kHeader},
        {"one entry with BOM", {seven()}, true, kBom + kHeader + sevenRecord()},
        {"absent fields stay empty", {bare}, false, kHeader + "2,,,,その他,a.pdf,,\r\n"},
        {"order and numbers as given", {full, bare}, false, kHeader + fullRecord + "2,,,,その他,a.pdf,,\r\n"},
        {"comma quoted", {seven("A,B商店")}, false, kHeader + sevenRecord("\"A,B商店\"")},
        {"quote doubled", {seven("\"Aの\"店")}, false, kHeader + sevenRecord("\"\"\"Aの\"\"店\"")},
        {"spaces alone not quoted", {seven("   ")}, false, kHeader + sevenRecord("   ")},
        {"carriage return quoted", {seven("A\rB")}, false, kHeader + sevenRecord("\"A\rB\"")},
        {"line break kept inside quotes",
         {seven("x", "一\n二")},
         false,
         kHeader + sevenRecord("x", "\"一\n二\"")},
        {"invalid bytes written as U+FFFD",
         {invalidName},
         false,
         kHeader + "2,,,,その他,\"scan\uFFFD,.pdf\",,\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IndexBookCSV::render(c.entries, c.excelCompatible), c.expected) << c.name;
}

TEST(IndexBookCSV, TextCellsThatLookLikeFormulasAreNeutralized) {
    const std::vector<std::tuple<const char*, std::string, std::string>> vendors = {
        {"equals", "=HYPERLINK(\"http://x\",\"y\")", "\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\""},
        {"plus", "+SUM(1+1)", "'+SUM(1+1)"},
        {"minus", "-2+3", "'-2+3"},
        {"at", "@SUM(A1)", "'@SUM(A1)"},
        {"tab", "\t=1+1", "'\t=1+1"},
        {"carriage return, then quoted", "\r=1+1", "\"'\r=1+1\""},
        {"formula character later in the cell", "A=B-C", "A=B-C"},
        {"leading space is not a formula start", " =1", " =1"},
        {"full-width equals is text", "＝1+1", "＝1+1"},
        {"apostrophe already there", "'=1", "'=1"},
        {"empty", "", ""},
    };
    for (const auto& [name, vendor, written] : vendors) {
        EXPECT_EQ(IndexBookCSV::render(std::vector{seven(vendor)}, false), kHeader + sevenRecord(written))
            << name;
        EXPECT_EQ(IndexBookCSV::neutralized(vendor).substr(IndexBookCSV::neutralized(vendor).size() -
                                                           vendor.size()),
                  vendor)
            << name << ": the value as read follows the one apostrophe";
    }

    // Every text column is neutralized; the numbers the book writes itself stay numbers.
    const IndexBookEntry all{
        3, DateComponentsValue{2024, 3, 5}, -1200, "@x", DocumentType::receipt, "=a.pdf", "+T1", "-note"};
    EXPECT_EQ(IndexBookCSV::render(std::vector{all}, false),
              kHeader + "3,2024/03/05,-1200,'@x,領収書,'=a.pdf,'+T1,'-note\r\n");
}

}  // namespace
}  // namespace tavori
