#include "TavoriCore/CsvReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavori {
namespace {

struct Row {
    std::vector<std::string> fields;
    std::uint64_t line;
    bool operator==(const Row&) const = default;
};

struct Read {
    std::vector<Row> rows;
    std::vector<std::uint64_t> warnedLines;
};

Read readAll(const std::string& text, std::size_t chunk, CsvLimits limits = {}) {
    Read read;
    CsvReader reader(
        [&](std::span<const std::string> fields, std::uint64_t line) {
            read.rows.push_back({{fields.begin(), fields.end()}, line});
        },
        limits, [&](std::uint64_t line, const std::string&) { read.warnedLines.push_back(line); });
    for (std::size_t at = 0; at < text.size(); at += chunk)
        reader.feed(std::string_view(text).substr(at, chunk));
    reader.finish();
    return read;
}

TEST(CsvReaderTest, RecordsWhateverTheChunkSize) {
    struct Case {
        std::string name, text;
        std::vector<Row> rows;
        std::vector<std::uint64_t> warned = {};
    };
    const std::vector<Case> cases = {
        {"plain CRLF", "a,b\r\nc,d\r\n", {{{"a", "b"}, 1}, {{"c", "d"}, 2}}},
        {"LF, lone CR and no final break", "a,b\nc\rd", {{{"a", "b"}, 1}, {{"c"}, 2}, {{"d"}, 3}}},
        {"quoted comma and doubled quote", "\"x, y\",\"say \"\"hi\"\"\"\r\n", {{{"x, y", "say \"hi\""}, 1}}},
        {"empty fields", ",,\r\n\"\",a\r\n", {{{"", "", ""}, 1}, {{"", "a"}, 2}}},
        {"byte-order mark dropped",
         "\xEF\xBB\xBF"
         "a,b\r\n",
         {{{"a", "b"}, 1}}},
        {"blank lines skipped, lines still counted", "a\r\n\r\nb\r\n", {{{"a"}, 1}, {{"b"}, 3}}},
        {"line breaks inside quotes", "\"1\r\n2\",x\r\ny\r\n", {{{"1\r\n2", "x"}, 1}, {{"y"}, 3}}},
        {"quote inside a plain field is text", "a\"b,c\r\n", {{{"a\"b", "c"}, 1}}},
        {"a stray quote hides no later row",
         "1,a\r\n2,\"b\r\n3,c\r\n4,d\r\n",
         {{{"1", "a"}, 1}, {{"3", "c"}, 3}, {{"4", "d"}, 4}},
         {2}},
        {"a stray quote on the last line keeps its text",
         "1,a\r\n2,\"b",
         {{{"1", "a"}, 1}, {{"2", "b"}, 2}},
         {2}},
    };
    for (const auto& c : cases)
        for (const std::size_t chunk : {std::size_t{1}, std::size_t{5}, std::size_t{1 << 20}}) {
            const Read read = readAll(c.text, chunk);
            EXPECT_EQ(read.rows, c.rows) << c.name << ", chunks of " << chunk;
            EXPECT_EQ(read.warnedLines, c.warned) << c.name << ", chunks of " << chunk;
        }
    EXPECT_EQ(CsvReader::countRecords("h\r\n\"a\nb\",c\r\n\r\nd"), 3u);
}

TEST(CsvReaderTest, LimitsStopHostileTextAtItsLine) {
    CsvLimits limits;
    limits.maxFieldBytes = 64;
    limits.maxRecordBytes = 256;
    limits.maxFields = 16;
    limits.maxTotalBytes = 4096;
    struct Case {
        std::string name, text;
        CsvError::Case expected;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"a line of commas", "a\r\n" + std::string(100, ','), CsvError::Case::tooManyFields,
         "2行目: 列が多すぎます"},
        {"one long field", "a\r\nb\r\n" + std::string(100, 'x'), CsvError::Case::fieldTooLong,
         "3行目: 1つの欄が長すぎます"},
        {"one long line", std::string(300, 'x').replace(0, 300, std::string(15, ',') + std::string(285, 'y')),
         CsvError::Case::fieldTooLong, "1行目:"},
        {"long quoted field on one line", "\"" + std::string(100, 'q'), CsvError::Case::fieldTooLong,
         "1行目:"},
        {"too much text", std::string(5000, '\n'), CsvError::Case::fileTooLarge, "ファイルが大きすぎます"},
    };
    for (const auto& c : cases) {
        try {
            readAll(c.text, 7, limits);
            ADD_FAILURE() << c.name << ": read";
        } catch (const CsvError& e) {
            EXPECT_EQ(e.errorCase(), c.expected) << c.name;
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.name << ": " << e.what();
        }
    }
    // A quote open over many lines is a stray one: its line is left out and the rest is read.
    std::string text = "\"open\n";
    for (int i = 0; i < 100; ++i) text += "r" + std::to_string(i) + "\n";
    const Read read = readAll(text, 3, limits);
    EXPECT_EQ(read.warnedLines, std::vector<std::uint64_t>{1});
    ASSERT_EQ(read.rows.size(), 100u);
    EXPECT_EQ(read.rows.front(), (Row{{"r0"}, 2}));
}

}  // namespace
}  // namespace tavori
