#include <sys/stat.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "../TestFiles.h"
#include "CliRunner.h"
#include "samples/SamplePdf.h"

namespace fs = std::filesystem;
using tavori::test::CliRunner;
using tavori::test::split;
using tavori::test::TestFolder;
using tavori::test::writeFile;

namespace {

// The date and file-name columns of each row: enough to tell which rows came back and in which order.
std::vector<std::string> datesAndNames(const std::string& out) {
    std::vector<std::string> result;
    for (const auto& line : split(out)) {
        const auto cols = split(line, '\t');
        if (cols.size() != 7) return {"bad row: " + line};
        result.push_back(cols[0] + " " + fs::path(cols[5]).filename().string() + " " + cols[6]);
    }
    return result;
}

class CliSearchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The destination's book as the program writes it; an older book saved by a spreadsheet (LF, no
        // byte-order mark, a quoted comma).
        writeFile(dest / "索引簿.csv",
                  "\xEF\xBB\xBF連番,取引年月日,取引金額,取引先,書類種別,ファイル名,登録番号,備考\r\n"
                  "1,2024/03/15,302,セブンイレブン,領収書,20240315_セブンイレブン_302.pdf,,\r\n"
                  "2,2024/01/05,49500,みどり印刷,請求書,20240105_みどり印刷_49500.pdf,T9876543210987,\r\n"
                  "3,2024/03/31,1000,ローソン,領収書,20240331_ローソン_1000.pdf,,\r\n");
        writeFile(dest / "20240315_セブンイレブン_302.pdf", "x");
        writeFile(old / "帳簿.csv",
                  "連番,取引年月日,取引金額,取引先,書類種別,ファイル名,登録番号,備考\n"
                  "1,2023/3/15,1000,\"セブン-イレブン,新宿\",領収書,old.pdf,,\n");
    }

    TestFolder dir;
    CliRunner cli{dir.path()};
    fs::path dest = dir / "dest";
    fs::path old = dir / "old";
};

TEST_F(CliSearchTest, DefaultsToTheDestinationsBookAndCombinesConditions) {
    ASSERT_EQ(cli.run({"settings", "--dest", dest.native()}).exitCode, 0);
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {{},
         {"2024/01/05 20240105_みどり印刷_49500.pdf なし", "2024/03/15 20240315_セブンイレブン_302.pdf あり",
          "2024/03/31 20240331_ローソン_1000.pdf なし"}},
        {{"--from", "2024-03-15", "--to", "2024/03/31", "--max", "1,000"},
         {"2024/03/15 20240315_セブンイレブン_302.pdf あり", "2024/03/31 20240331_ローソン_1000.pdf なし"}},
        {{"--vendor", "印刷", "--registration", "T9876543210987"},
         {"2024/01/05 20240105_みどり印刷_49500.pdf なし"}},
        {{(old / "帳簿.csv").native(), dest.native(), "--vendor", "セブン"},
         {"2023/03/15 old.pdf なし", "2024/03/15 20240315_セブンイレブン_302.pdf あり"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"search"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto result = cli.run(args);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(datesAndNames(result.out), c.expected) << args.size();
        EXPECT_EQ(result.err, std::to_string(c.expected.size()) + "件見つかりました\n");
    }
}

TEST_F(CliSearchTest, JsonNamesTheBookAndTheDocument) {
    const auto result = cli.run({"search", (old / "帳簿.csv").native(), "--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto all = split(result.out);
    ASSERT_EQ(all.size(), 1u);
    const auto j = nlohmann::json::parse(all[0]);
    EXPECT_EQ(j["vendor"], "セブン-イレブン,新宿");
    EXPECT_EQ(j["amount"], 1000);
    EXPECT_EQ(j["date"], (nlohmann::json{{"year", 2023}, {"month", 3}, {"day", 15}}));
    EXPECT_EQ(j["book"], (old / "帳簿.csv").native());
    EXPECT_EQ(j["document"], (old / "old.pdf").native());
    EXPECT_EQ(j["exists"], false);
}

// Which books cannot be read, and why, is the library's to test; here, that the command says so and fails.
TEST_F(CliSearchTest, RefusesBadConditionsAndUnreadableBooks) {
    ASSERT_EQ(::mkfifo((dir / "pipe.csv").c_str(), 0600), 0);
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"search"}, 2, "保存先フォルダが設定されていません。索引簿かそのフォルダを指定してください。\n"},
        {{"search", dest.native(), "--from", "2024-02-30"},
         2,
         "日付は 2024-01-31 の形（1990年から2100年まで）で指定してください: 2024-02-30\n"},
        {{"search", dest.native(), "--min", "十円"}, 2, "金額は円の整数で指定してください: 十円\n"},
        {{"search", dest.native(), "--from", "2024-03-01", "--to", "2024-02-01"},
         2,
         "期間の始まりが終わりより後です: 2024/03/01 〜 2024/02/01\n"},
        {{"search", dest.native(), "--min", "500", "--max", "100"},
         2,
         "金額の下限が上限より大きくなっています: 500 〜 100\n"},
        {{"search", dest.native(), "--registration", "T12345"},
         2,
         "登録番号は T と13桁の数字で指定してください: T12345\n"},
        {{"search", (dir / "pipe.csv").native()},
         1,
         "索引簿を開けません: " + (dir / "pipe.csv").native() + "（通常のファイルではありません）\n"},
        {{"search", dest.native(), "--type", "レシート"},
         2,
         "書類種別は次のどれかで指定してください: "
         "領収書、請求書、納品書、見積書、注文書、明細書、契約書、その他\n"},
    };
    for (const auto& c : cases) {
        const auto result = cli.run(c.args);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.args.back();
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(result.out, "");
    }
}

}  // namespace

namespace {

// Scanning warns of receipts already booked or saved and of the same file twice in one batch.
TEST(CliDuplicateTest, ScanReportsPossibleDuplicatesAsAColumnAndInJson) {
    TestFolder dir;
    CliRunner cli{dir.path()};
    const fs::path in = dir / "in";
    const fs::path dest = dir / "dest";
    tavori::SamplePdf::writeSamples(in);
    fs::copy_file(in / "scan_0002.pdf", in / "scan_0002 copy.pdf");
    fs::create_directories(dest);
    fs::copy_file(in / "invoice-may.pdf", dest / "20240531_みどり印刷_49500.pdf");
    writeFile(dest / "索引簿.csv",
              "\xEF\xBB\xBF連番,取引年月日,取引金額,取引先,書類種別,ファイル名,登録番号,備考\r\n"
              "1,2024/03/15,990,さくら文具店,領収書,20240315_さくら文具店_990.pdf,,\r\n");
    ASSERT_EQ(cli.run({"settings", "--dest", dest.native()}).exitCode, 0);

    const std::vector<std::pair<std::string, std::string>> expected = {
        {"invoice-may.pdf", "重複の可能性: 同じ内容のファイル（20240531_みどり印刷_49500.pdf）"},
        {"scan_0001.pdf", "重複の可能性: 2024/03/15 ¥990 さくら文具店（20240315_さくら文具店_990.pdf）"},
        // Rows are printed as they are read, so of two copies in the batch the later one is marked.
        {"scan_0002 copy.pdf", ""},
        {"scan_0002.pdf", "重複の可能性: 2024/04/02 ¥1,400 喫茶ひまわり（scan_0002 copy.pdf）"},
    };
    const auto rows = cli.run({"scan", in.native()});
    ASSERT_EQ(rows.exitCode, 0) << rows.err;
    const auto rowLines = split(rows.out);
    ASSERT_EQ(rowLines.size(), expected.size()) << rows.out;
    for (std::size_t k = 0; k < expected.size(); ++k) {
        EXPECT_TRUE(rowLines[k].starts_with((in / expected[k].first).native() + "\t")) << rowLines[k];
        EXPECT_TRUE(rowLines[k].ends_with("\t" + expected[k].second)) << rowLines[k];
    }

    const auto json = cli.run({"scan", "--json", in.native()});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    const auto jsonLines = split(json.out);
    ASSERT_EQ(jsonLines.size(), expected.size());
    const auto first = nlohmann::json::parse(jsonLines[0]);
    EXPECT_EQ(first["duplicates"],
              nlohmann::json::parse(
                  R"([{"message":"重複の可能性: 同じ内容のファイル（20240531_みどり印刷_49500.pdf）",
        "reason":"content","origin":"book","file":"20240531_みどり印刷_49500.pdf"}])"));
    const auto second = nlohmann::json::parse(jsonLines[1]);
    EXPECT_EQ(second["duplicates"][0]["reason"], "fields");
    EXPECT_EQ(second["duplicates"][0]["origin"], "book");
    EXPECT_TRUE(nlohmann::json::parse(jsonLines[2])["duplicates"].empty());
    EXPECT_EQ(nlohmann::json::parse(jsonLines[3])["duplicates"][0]["origin"], "list");
}

}  // namespace
