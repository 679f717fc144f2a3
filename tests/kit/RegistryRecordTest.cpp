#include "TavoriKit/registry/RegistryRecord.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "samples/RegistrySample.h"

namespace tavori {
namespace {

struct Row {
    std::vector<std::string> fields;
    std::uint64_t line;
    bool operator==(const Row&) const = default;
};

std::vector<Row> rowsOf(const std::string& text, std::size_t chunk) {
    std::vector<Row> rows;
    CsvRowReader reader([&](std::span<const std::string> fields, std::uint64_t line) {
        rows.push_back({{fields.begin(), fields.end()}, line});
    });
    for (std::size_t at = 0; at < text.size(); at += chunk)
        reader.feed(std::string_view(text).substr(at, chunk));
    reader.finish();
    return rows;
}

TEST(CsvRowReaderTest, RowsWhateverTheChunkSize) {
    struct Case {
        std::string name, text;
        std::vector<Row> rows;
    };
    const std::vector<Case> cases = {
        {"plain CRLF", "a,b\r\nc,d\r\n", {{{"a", "b"}, 1}, {{"c", "d"}, 2}}},
        {"LF and no final break", "a,b\nc,d", {{{"a", "b"}, 1}, {{"c", "d"}, 2}}},
        {"quoted comma and doubled quote", "\"x, y\",\"say \"\"hi\"\"\"\r\n", {{{"x, y", "say \"hi\""}, 1}}},
        {"empty fields", ",,\r\n\"\",a\r\n", {{{"", "", ""}, 1}, {{"", "a"}, 2}}},
        {"byte-order mark dropped",
         "\xEF\xBB\xBF"
         "a,b\r\n",
         {{{"a", "b"}, 1}}},
        {"blank lines skipped, lines still counted", "a\r\n\r\nb\r\n", {{{"a"}, 1}, {{"b"}, 3}}},
        {"line break inside quotes", "\"1\n2\",x\r\ny\r\n", {{{"1\n2", "x"}, 1}, {{"y"}, 3}}},
        {"multi-byte text", "\"株式会社見本\",Ｔ\r\n", {{{"株式会社見本", "Ｔ"}, 1}}},
    };
    for (const auto& c : cases)
        for (const std::size_t chunk : {std::size_t{1}, std::size_t{2}, std::size_t{5}, std::size_t{1 << 20}})
            EXPECT_EQ(rowsOf(c.text, chunk), c.rows) << c.name << ", chunks of " << chunk;
}

std::vector<std::string> fieldsOf(const std::string& row) {
    const auto rows = rowsOf(row, 1 << 20);
    return rows.empty() ? std::vector<std::string>{} : rows.front().fields;
}

TEST(RegistryRecordTest, GeneratedRowsReadBackAsTheyWereWritten) {
    for (std::uint64_t i : {0, 1, 2, 3, 4, 999}) {
        RegistryRecord r = RegistrySample::record(i);
        if (i == 4) {
            r.process = RegistryRecord::Process::cancelled;
            r.cancellationDate = DateComponentsValue{2024, 6, 1};
            r.popularName = "旧姓 \"見本\"";
        }
        const auto parsed = parseRegistryRow(fieldsOf(RegistrySample::csvRow(r, i + 1)));
        ASSERT_TRUE(parsed.record) << i << ": " << parsed.problem;
        EXPECT_EQ(*parsed.record, r) << i;
    }
}

TEST(RegistryRecordTest, MalformedRowsSayWhy) {
    const std::string good = RegistrySample::csvRow(RegistrySample::record(7), 1);
    auto with = [&](std::size_t column, const std::string& value) {
        auto fields = fieldsOf(good);
        fields[column] = value;
        return fields;
    };
    struct Case {
        std::string name;
        std::vector<std::string> fields;
        std::string problem;  // a part of the message
    };
    auto shortRow = fieldsOf(good);
    shortRow.pop_back();
    const std::vector<Case> cases = {
        {"23 columns", shortRow, "23"},
        {"number without T", with(1, "1234567890123"), "T＋13桁"},
        {"12 digits", with(1, "T123456789012"), "T＋13桁"},
        {"full-width digits", with(1, "T１２３４５６７８９０１２３"), "T＋13桁"},
        {"unknown process", with(2, "05"), "事業者処理区分"},
        {"unknown kind", with(4, "3"), "人格区分"},
        {"unknown country", with(5, "9"), "国内外区分"},
        {"impossible date", with(7, "2023-02-30"), "日付"},
        {"slashed date", with(8, "2023/10/01"), "日付"},
        {"no registration date", with(7, ""), "登録年月日"},
        {"no name", with(18, ""), "氏名又は名称"},
    };
    for (const auto& c : cases) {
        const auto parsed = parseRegistryRow(c.fields);
        EXPECT_FALSE(parsed.record) << c.name;
        EXPECT_NE(parsed.problem.find(c.problem), std::string::npos) << c.name << ": " << parsed.problem;
    }
}

TEST(RegistryRecordTest, ADeletedRowNeedsOnlyItsNumber) {
    std::vector<std::string> fields(RegistryRecord::columnCount);
    fields[1] = "T1234567890123";
    fields[2] = "99";
    const auto parsed = parseRegistryRow(fields);
    ASSERT_TRUE(parsed.record) << parsed.problem;
    EXPECT_EQ(parsed.record->process, RegistryRecord::Process::deleted);
    EXPECT_EQ(parsed.record->number, "T1234567890123");
}

}  // namespace
}  // namespace tavori
