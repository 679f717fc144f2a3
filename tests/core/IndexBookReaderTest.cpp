#include <gtest/gtest.h>

#include "TavoriCore/IndexBookCSV.h"
#include "TavoriCore/IndexBookReader.h"

namespace tavori {
namespace {

using Case = IndexBookReadError::Case;

const std::string kHeader = "連番,取引年月日,取引金額,取引先,書類種別,ファイル名,登録番号,備考";

std::string fromHex(std::string_view hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    return out;
}

// The header and one row in code page 932, as a Japanese spreadsheet program saves CSV:
// 1,2024/3/5,1280,㈱サンプル商店,領収書,20240305_サンプル商店_1280.pdf,, with CR LF.
const std::string kShiftJisBook = fromHex(
    "984194d42c8ee688f8944e8c8e93fa2c8ee688f88be08a7a2c8ee688f890e62c8f9197de8eed95ca2c837483408343838b96bc2c"
    "936f985e94d48d862c94f58d6c0d0a312c323032342f332f352c313238302c878a835483938376838b8fa493582c97cc8efb8f91"
    "2c32303234303330355f835483938376838b8fa493585f313238302e7064662c2c0d0a");

IndexBookEntry entry(std::int64_t sequence, std::optional<DateComponentsValue> date,
                     std::optional<std::int64_t> amount, std::string vendor, DocumentType type,
                     std::string fileName, std::optional<std::string> registration = std::nullopt,
                     std::string note = "") {
    return {
        sequence,       date, amount, std::move(vendor), type, std::move(fileName), std::move(registration),
        std::move(note)};
}

TEST(IndexBookReader, ReadsBackWhatTheProgramWrites) {
    const std::vector<IndexBookEntry> written = {
        entry(1, DateComponentsValue{2024, 3, 5}, 1280, "セブンイレブン", DocumentType::receipt,
              "20240305_セブンイレブン_1280.pdf"),
        entry(2, std::nullopt, std::nullopt, "", DocumentType::other, "scan.pdf"),
        entry(3, DateComponentsValue{2024, 12, 31}, -1200, "A,B \"商店\"", DocumentType::invoice, "a b.pdf",
              "T1234567890123", "一行目\r\n二行目"),
        entry(4, DateComponentsValue{2025, 1, 1}, 0, "   ", DocumentType::contract, "x.pdf", std::nullopt,
              "note, with comma"),
        // Cells a spreadsheet would run as formulas: whether or not the writer guards them, they read back
        // as they were.
        entry(5, DateComponentsValue{2025, 1, 2}, -5, "=HYPERLINK(\"x\")", DocumentType::receipt, "@a.pdf",
              "+81", "-memo"),
    };
    for (bool bom : {true, false}) {
        SCOPED_TRACE(bom ? "with byte-order mark" : "without byte-order mark");
        EXPECT_EQ(IndexBookReader::parse(IndexBookCSV::render(written, bom)), written);
    }
}

TEST(IndexBookReader, ReadsWhatSpreadsheetsAndHandsSaveBack) {
    struct Example {
        const char* name;
        std::string bytes;
        std::vector<IndexBookEntry> expected;
    };
    const DateComponentsValue march5{2024, 3, 5};
    const std::vector<Example> examples = {
        {"LF, no byte-order mark, quoted comma and line break",
         kHeader + "\n1,2024/03/05,1280,\"A,B商店\",領収書,a.pdf,,\"二行の\n備考\"\n",
         {entry(1, march5, 1280, "A,B商店", DocumentType::receipt, "a.pdf", std::nullopt, "二行の\n備考")}},
        {"no line end after the last record",
         kHeader + "\r\n1,2024/03/05,1280,X,領収書,a.pdf,,",
         {entry(1, march5, 1280, "X", DocumentType::receipt, "a.pdf")}},
        {"dates and amounts as spreadsheets reformat them",
         kHeader + "\r\n1,2024/3/5,\"1,280\",X,領収書,a.pdf,,\r\n2,2024-03-05,¥1280,X,領収書,b.pdf,,\r\n"
                   "3,2024年3月5日,１２８０円,X,領収書,c.pdf,,\r\n4,2024/3/5 0:00,1280,X,領収書,d.pdf,,\r\n",
         {entry(1, march5, 1280, "X", DocumentType::receipt, "a.pdf"),
          entry(2, march5, 1280, "X", DocumentType::receipt, "b.pdf"),
          entry(3, march5, 1280, "X", DocumentType::receipt, "c.pdf"),
          entry(4, march5, 1280, "X", DocumentType::receipt, "d.pdf")}},
        {"cells that are not dates, amounts or types",
         kHeader + "\r\nx,2024/02/30,12.5,X,伝票,a.pdf,,\r\n",
         {entry(0, std::nullopt, std::nullopt, "X", DocumentType::other, "a.pdf")}},
        {"blank records and the empty rows a spreadsheet leaves",
         "\r\n" + kHeader + "\r\n\r\n,,,,,,,\r\n1,2024/03/05,1280,X,領収書,a.pdf,,\r\n,,,,,,,\r\n",
         {entry(1, march5, 1280, "X", DocumentType::receipt, "a.pdf")}},
        {"columns moved, one missing, one added, short record",
         "取引先,取引金額,メモ,取引年月日,ファイル名\r\nX,1280,m,2024/03/05,a.pdf\r\nY,5\r\n",
         {entry(0, march5, 1280, "X", DocumentType::other, "a.pdf"),
          entry(0, std::nullopt, 5, "Y", DocumentType::other, "")}},
        {"CR only, as old Mac spreadsheets wrote",
         kHeader + "\r1,2024/03/05,1280,X,領収書,a.pdf,,\r",
         {entry(1, march5, 1280, "X", DocumentType::receipt, "a.pdf")}},
        {"unterminated quote runs to the end",
         kHeader + "\r\n1,2024/03/05,1280,\"X,領収書\r\n",
         {entry(1, march5, 1280, "X,領収書\r\n", DocumentType::other, "")}},
        {"a quote inside an unquoted field is text",
         kHeader + "\r\n1,2024/03/05,1280,5\" 店,領収書,a.pdf,,\r\n",
         {entry(1, march5, 1280, "5\" 店", DocumentType::receipt, "a.pdf")}},
        {"Shift_JIS",
         kShiftJisBook,
         {entry(1, march5, 1280, "㈱サンプル商店", DocumentType::receipt, "20240305_サンプル商店_1280.pdf")}},
        {"Shift_JIS book appended to in UTF-8",
         kShiftJisBook + "2,2024/03/06,300,ローソン,領収書,b.pdf,,\r\n",
         {entry(1, march5, 1280, "㈱サンプル商店", DocumentType::receipt, "20240305_サンプル商店_1280.pdf"),
          entry(2, DateComponentsValue{2024, 3, 6}, 300, "ローソン", DocumentType::receipt, "b.pdf")}},
        {"empty file", "", {}},
        {"byte-order mark only", "\xEF\xBB\xBF", {}},
        {"header only", "\xEF\xBB\xBF" + kHeader + "\r\n", {}},
    };
    for (const auto& example : examples) {
        SCOPED_TRACE(example.name);
        EXPECT_EQ(IndexBookReader::parse(example.bytes), example.expected);
    }
}

TEST(IndexBookReader, UndoesTheFormulaGuardAndNothingElse) {
    const std::vector<std::pair<std::string, std::string>> cells = {
        {"'=SUM(A1)", "=SUM(A1)"}, {"'+81", "+81"},  {"'-302", "-302"},
        {"'@home", "@home"},       {"'\tx", "\tx"},  {"'\rx", "\rx"},
        {"'''=x", "'''=x"},        {"'abc", "'abc"}, {"'", "'"},
        {"''-1", "''-1"},          {"it's", "it's"}, {"=x", "=x"},
    };
    for (const auto& [cell, expected] : cells)
        EXPECT_EQ(IndexBookReader::withoutFormulaGuard(cell), expected) << cell;

    // In a whole book: the amount, vendor and file name read as what was meant.
    const std::string book = kHeader + "\r\n1,2024/03/05,'-302,'=HYPERLINK(\"x\"),領収書,'@a.pdf,,'+note\r\n";
    const auto rows = IndexBookReader::parse(book);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].amount, -302);
    EXPECT_EQ(rows[0].vendor, "=HYPERLINK(\"x\")");
    EXPECT_EQ(rows[0].fileName, "@a.pdf");
    EXPECT_EQ(rows[0].note, "+note");
}

TEST(IndexBookReader, RefusesWhatIsNotABook) {
    const std::vector<std::tuple<const char*, std::string, Case>> broken = {
        {"Latin-1 bytes that are not Shift_JIS either", kHeader + "\r\n1,2024/03/05,1,caf\xE9\xFF,,,,\r\n",
         Case::notText},
        {"UTF-16 with its byte-order mark", std::string("\xFF\xFE\x23\x90", 4), Case::notText},
        {"binary data", std::string("%PDF-1.4\n\x80\x81\xFD\xFE\xFF", 14), Case::notText},
        {"some other table", "name,price\r\napple,100\r\n", Case::notIndexBook},
        {"header without the amount column", "連番,取引年月日,取引先\r\n1,2024/03/05,X\r\n",
         Case::notIndexBook},
        {"text without a header", "just some words\n", Case::notIndexBook},
    };
    for (const auto& [name, bytes, expected] : broken) {
        SCOPED_TRACE(name);
        try {
            IndexBookReader::parse(bytes);
            ADD_FAILURE() << "read as a book";
        } catch (const IndexBookReadError& e) {
            EXPECT_EQ(e.errorCase(), expected);
            EXPECT_TRUE(std::string(e.what()).starts_with("索引簿を読めません")) << e.what();
        }
    }
    const IndexBookReadError named = IndexBookReadError(Case::notText).about("/tmp/索引簿.csv");
    EXPECT_EQ(std::string(named.what()),
              "索引簿を読めません: /tmp/索引簿.csv（文字コードがUTF-8でもShift_JISでもありません）");
}

TEST(IndexBookReader, ParsesCellValues) {
    const std::vector<std::pair<std::string, std::optional<DateComponentsValue>>> dates = {
        {"2024/03/05", DateComponentsValue{2024, 3, 5}},
        {"2024/3/5", DateComponentsValue{2024, 3, 5}},
        {" 2024-12-31 ", DateComponentsValue{2024, 12, 31}},
        {"２０２４／０３／０５", DateComponentsValue{2024, 3, 5}},
        {"2024.3.5", DateComponentsValue{2024, 3, 5}},
        {"2024年3月5日", DateComponentsValue{2024, 3, 5}},
        {"2024/02/29", DateComponentsValue{2024, 2, 29}},
        {"2023/02/29", std::nullopt},
        {"2024/13/01", std::nullopt},
        {"2024/3", std::nullopt},
        {"24/03/05", std::nullopt},
        {"2024/03-05", std::nullopt},
        {"2024/03/05x", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [text, expected] : dates) EXPECT_EQ(IndexBookReader::parseDate(text), expected) << text;

    const std::vector<std::pair<std::string, std::optional<std::int64_t>>> amounts = {
        {"1280", 1280},
        {"1,280", 1280},
        {"¥1,280", 1280},
        {"￥1,280", 1280},
        {"1280円", 1280},
        {"-302", -302},
        {" 0 ", 0},
        {"１２８０", 1280},
        {"12.5", std::nullopt},
        {"-", std::nullopt},
        {"", std::nullopt},
        {"1 2", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {"abc", std::nullopt},
    };
    for (const auto& [text, expected] : amounts)
        EXPECT_EQ(IndexBookReader::parseAmount(text), expected) << text;
}

}  // namespace
}  // namespace tavori
