#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>

#include "../TestFiles.h"
#include "CliRunner.h"
#include "samples/CraftedFiles.h"
#include "samples/SamplePdf.h"

namespace fs = std::filesystem;
using tavori::test::CliRunner;
using tavori::test::names;
using tavori::test::readFile;
using tavori::test::split;
using tavori::test::TestFolder;
using tavori::test::tree;
using tavori::test::writeFile;

namespace {

class CliTest : public ::testing::Test {
  protected:
    TestFolder dir;
    CliRunner cli{dir.path()};
    fs::path in = dir / "in";
    fs::path out = dir / "out";

    void SetUp() override { tavori::SamplePdf::writeSamples(in); }
    std::string sample(const std::string& name) const { return (in / name).native(); }
};

constexpr const char* kStationery = "20240315_さくら文具店_990.pdf";
constexpr const char* kCafe = "20240402_喫茶ひまわり_1400.pdf";
constexpr const char* kInvoice = "20240531_みどり印刷_49500.pdf";

TEST_F(CliTest, ScanPrintsOneRowPerFileWithFieldsAndName) {
    struct Row {
        std::string file, status, date, vendor, amount, type, regno, levels, name;
    };
    const std::vector<Row> expected = {
        {"invoice-may.pdf", "ready", "2024-05-31", "みどり印刷", "49500", "請求書", "T9876543210987",
         "high/high/high", kInvoice},
        {"scan_0001.pdf", "ready", "2024-03-15", "さくら文具店", "990", "領収書", "T1234567890123",
         "medium/high/high", kStationery},
        {"scan_0002.pdf", "ready", "2024-04-02", "喫茶ひまわり", "1400", "領収書", "", "medium/medium/high",
         kCafe},
    };
    const auto result = cli.run({"scan", in.native()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "") << "no progress line when stderr is not a terminal";
    const auto lines = split(result.out, '\n');
    ASSERT_EQ(lines.size(), expected.size()) << result.out;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const Row& row = expected[i];
        auto cols = split(lines[i], '\t');
        // The last column, possible duplicates, is empty: the line ends with its tab.
        ASSERT_EQ(cols.size(), 10u) << row.file << ": " << lines[i];
        EXPECT_TRUE(lines[i].ends_with("\t")) << row.file;
        // The review reasons are the analysis's own words; here, only whether there are any.
        EXPECT_EQ(cols[8].empty(), row.levels == "high/high/high")
            << row.file << " review reasons: " << cols[8];
        cols[8].clear();
        EXPECT_EQ(cols,
                  (std::vector<std::string>{sample(row.file), row.status, row.date, row.vendor, row.amount,
                                            row.type, row.regno, row.levels, "", row.name}));
    }
}

TEST_F(CliTest, ScanJsonGivesOneObjectPerLineAndErrorsInJapanese) {
    writeFile(dir / "notes.txt", "hello");
    const auto result = cli.run({"scan", "--json", sample("scan_0002.pdf"), (dir / "notes.txt").native()});
    EXPECT_EQ(result.exitCode, 1) << "a file that cannot be read fails the run";
    const auto lines = split(result.out, '\n');
    ASSERT_EQ(lines.size(), 2u) << result.out;
    const auto cafe = nlohmann::json::parse(lines[0]);
    EXPECT_EQ(cafe["status"], "ready");
    EXPECT_EQ(cafe["fields"]["vendor"], "喫茶ひまわり");
    EXPECT_EQ(cafe["fields"]["amount"], 1400);
    EXPECT_EQ(cafe["name"], kCafe);
    const auto failed = nlohmann::json::parse(lines[1]);
    EXPECT_EQ(failed["file"], (dir / "notes.txt").native());
    EXPECT_EQ(failed["status"], "failed");
    EXPECT_EQ(failed["error"], "対応していないファイル形式です（PDF・JPEG・PNG・HEIC・TIFFに対応）");
}

TEST_F(CliTest, ProgressLineOnATerminalCountsEveryFileAndKeepsRowsApart) {
    const auto result = cli.runWithTerminal({"scan", in.native()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.err.find("読み取り中 (reading) 3/3"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.back(), '\n') << "the terminal's next prompt starts on a line of its own";
    // Rows go to standard output untouched by the progress line.
    const auto lines = split(result.out, '\n');
    ASSERT_EQ(lines.size(), 3u) << result.out;
    EXPECT_EQ(split(lines[0], '\t')[0], sample("invoice-may.pdf"));
    EXPECT_EQ(result.out.find('\r'), std::string::npos);
}

TEST_F(CliTest, FoldersGiveTheirSupportedFilesOnceInNameOrder) {
    const fs::path folder = dir / "mixed";
    const auto receipt = tavori::SamplePdf::samples()[1];
    for (const char* name : {"b.pdf", ".hidden.pdf", "sub/c.pdf", "Z.pdf"}) {
        fs::create_directories((folder / name).parent_path());
        tavori::SamplePdf::write(folder / name, receipt);
    }
    writeFile(folder / "notes.txt", "not a document");
    // Two links back to the parent (a walk that followed them would never end) and a second name of a file.
    fs::create_directory_symlink("..", folder / "sub" / "u1");
    fs::create_directory_symlink("..", folder / "sub" / "u2");
    fs::create_symlink("../b.pdf", folder / "sub" / "link.pdf");
    fs::create_directories(dir / "empty.pdf");
    struct Case {
        std::string label;
        std::vector<std::string> args;
        std::vector<std::string> files;
        std::string err = "";
        int exitCode = 0;
    };
    const std::vector<Case> cases = {
        {"folder", {folder.native()}, {"Z.pdf", "b.pdf"}},
        {"folder and its file",
         {folder.native(), (folder / "b.pdf").native(), (folder / "./b.pdf").native()},
         {"Z.pdf", "b.pdf"}},
        {"recursive, loops skipped and named",
         {"-r", folder.native()},
         {"Z.pdf", "b.pdf", "sub/c.pdf"},
         "同じフォルダに戻るリンクのため読み飛ばしました: " + (folder / "sub" / "u1").native() + "\n" +
             "同じフォルダに戻るリンクのため読み飛ばしました: " + (folder / "sub" / "u2").native() + "\n"},
        {"a folder named like a document, without documents",
         {(dir / "empty.pdf").native()},
         {"../empty.pdf"},
         "",
         1},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"scan"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto result = cli.run(args);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.label << ": " << result.err;
        EXPECT_EQ(result.err, c.err) << c.label;
        std::vector<std::string> files;
        for (const auto& line : split(result.out, '\n'))
            files.push_back(fs::path(split(line, '\t')[0]).lexically_relative(folder).native());
        EXPECT_EQ(files, c.files) << c.label;
        if (c.exitCode != 0) {
            EXPECT_NE(result.out.find("フォルダに読み取れる書類がありません"), std::string::npos);
        }
    }
}

TEST_F(CliTest, SaveMovesEachFileToAFreeNameAndRecordsIt) {
    // The same receipt twice in one batch, and a name already taken (in other case) in the folder.
    fs::copy_file(in / "scan_0001.pdf", in / "scan_0001-copy.pdf");
    const auto before = tree(in);
    writeFile(out / "20240315_さくら文具店_990.PDF", "already here");
    std::vector<std::string> args{"save", "--mode", "move", "--dest", out.native()};
    for (const auto& [name, bytes] : before) args.push_back(sample(name));
    const auto result = cli.run(args);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("4件を保存しました"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("索引簿 (index book): " + (out / "索引簿.csv").native()), std::string::npos)
        << result.out;
    EXPECT_EQ(names(out), (std::set<std::string>{kInvoice, "20240315_さくら文具店_990.PDF",
                                                 "20240315_さくら文具店_990 (2).pdf",
                                                 "20240315_さくら文具店_990 (3).pdf", kCafe, "索引簿.csv"}));
    EXPECT_EQ(readFile(out / "20240315_さくら文具店_990.PDF"), "already here");
    EXPECT_EQ(readFile(out / kCafe), before.at("scan_0002.pdf"));
    EXPECT_EQ(names(in), std::set<std::string>{}) << "moved, not copied";
    const auto book = split(readFile(out / "索引簿.csv"), '\n');
    ASSERT_EQ(book.size(), 5u);
    EXPECT_EQ(book[2],
              "2,2024/03/15,990,さくら文具店,領収書,20240315_さくら文具店_990 (2).pdf,T1234567890123,\r");
}

TEST_F(CliTest, DryRunAndMissingDestinationTouchNothing) {
    const auto before = tree(dir.path() / "in");
    struct Case {
        std::string label;
        std::vector<std::string> args;
        int exitCode;
        std::string out, err;
    };
    const std::vector<Case> cases = {
        {"dry run move",
         {"save", "--dry-run", "--mode", "move", "--dest", out.native(), sample("scan_0002.pdf")},
         0,
         "move\t" + sample("scan_0002.pdf") + "\t" + (out / kCafe).native() +
             "\n索引簿 (index book): " + (out / "索引簿.csv").native() + "\n",
         ""},
        {"dry run rename",
         {"save", "--dry-run", "--mode", "rename", "--no-index-book", sample("scan_0002.pdf")},
         0,
         "rename\t" + sample("scan_0002.pdf") + "\t" + (in / kCafe).native() + "\n",
         ""},
        {"no destination",
         {"save", sample("scan_0002.pdf")},
         1,
         "",
         "先に保存先フォルダを選んでください。\n"},
    };
    for (const auto& c : cases) {
        const auto result = cli.run(c.args);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.label;
        EXPECT_EQ(result.out, c.out) << c.label;
        EXPECT_EQ(result.err, c.err) << c.label;
        EXPECT_EQ(tree(in), before) << c.label;
        EXPECT_FALSE(fs::exists(out)) << c.label;
        EXPECT_FALSE(fs::exists(cli.settingsFile())) << c.label;
    }
}

TEST_F(CliTest, ExportIndexWritesACompleteBookWithProposedNamesAndReplacesOnlyWithForce) {
    fs::copy_file(in / "scan_0002.pdf", in / "CAFE.PDF");
    writeFile(out / "book.csv", "old content");
    const std::vector<std::string> args = {
        "export-index", sample("CAFE.PDF"),         sample("invoice-may.pdf"), (in / "missing.pdf").native(),
        "--output",     (out / "book.csv").native()};

    const auto refused = cli.run(args);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err,
              "同じ名前のファイルが既にあります: book.csv（置き換えるには --force を指定してください）\n");
    EXPECT_EQ(readFile(out / "book.csv"), "old content");

    auto forced = args;
    forced.push_back("--force");
    const auto result = cli.run(forced);
    EXPECT_EQ(result.exitCode, 1) << "the unreadable file is reported";
    EXPECT_NE(result.err.find("missing.pdf: ファイルを読み込めませんでした"), std::string::npos)
        << result.err;
    EXPECT_EQ(readFile(out / "book.csv"),
              "\xEF\xBB\xBF連番,取引年月日,取引金額,取引先,書類種別,ファイル名,登録番号,備考\r\n"
              "1,2024/04/02,1400,喫茶ひまわり,領収書,20240402_喫茶ひまわり_1400.PDF,,\r\n"
              "2,2024/05/31,49500,みどり印刷,請求書,20240531_みどり印刷_49500.pdf,T9876543210987,\r\n");
    EXPECT_EQ(names(in).count("20240402_喫茶ひまわり_1400.PDF"), 0u) << "exporting saves nothing";
}

// Text-layer PDFs through the whole road: the amounts by rate read, the stored account, the file written
// (each format's bytes are the journal export's to test).
TEST_F(CliTest, ExportJournalWritesTheFileFromTheRatesRead) {
    ASSERT_EQ(cli.run({"settings", "--account", "請求書=広告宣伝費"}).exitCode, 0);
    fs::create_directories(out);
    const auto generic = cli.run({"export-journal", sample("scan_0001.pdf"), sample("invoice-may.pdf"),
                                  "--format", "generic", "-o", (out / "j.csv").native()});
    EXPECT_EQ(generic.exitCode, 0) << generic.err;
    EXPECT_EQ(readFile(out / "j.csv"),
              "\xEF\xBB\xBF日付,取引先,勘定科目,金額,10%対象額(税込),10%消費税額,8%対象額(税込),8%消費税額,"
              "登録番号,"
              "適格請求書,メモ\r\n"
              "2024/03/15,さくら文具店,消耗品費,990,990,90,,,T1234567890123,あり,scan_0001.pdf\r\n"
              "2024/05/31,みどり印刷,広告宣伝費,49500,49500,4500,,,T9876543210987,あり,invoice-may.pdf\r\n");
    const auto again = cli.run(
        {"export-journal", sample("scan_0001.pdf"), "--format", "yayoi", "-o", (out / "j.csv").native()});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_NE(readFile(out / "j.csv").substr(0, 3), "200") << "an existing file is kept without --force";
}

// Each hostile kind of file is the reader's to test; here, files whose libraries like to talk on standard
// error, in one batch that goes on past them.
TEST_F(CliTest, HostileFilesFailWithTheirReasonAndTheBatchGoesOn) {
    const fs::path bad = dir / "bad";
    writeFile(bad / "b-zeros.pdf", std::string(1 << 20, '\0'));
    writeFile(bad / "c-text.png", "Dear customer, the invoice is attached.");
    const auto png = tavori::CraftedFiles::zeroPng(40000, 20);
    writeFile(bad / "f-bomb.png", std::string(png.begin(), png.end()));
    fs::copy_file(in / "scan_0002.pdf", bad / "g-good.pdf");

    const auto result = cli.run({"scan", bad.native()});
    EXPECT_EQ(result.exitCode, 1) << result.err;
    const std::string unreadable = "ファイルを読み込めませんでした";
    for (const auto& [name, reason] : std::vector<std::pair<std::string, std::string>>{
             {"b-zeros.pdf", "中身がPDFではありません"},
             {"c-text.png", "中身が対応している画像ではありません"},
             {"f-bomb.png", "画像が大きすぎて読み込めません"},
         })
        EXPECT_NE(result.out.find((bad / name).native() + "\tfailed\t" + unreadable + "（" + reason + "）\n"),
                  std::string::npos)
            << name << " in\n"
            << result.out;
    EXPECT_NE(result.out.find("20240402_喫茶ひまわり_1400.pdf"), std::string::npos) << result.out;
    // No library speaks to the user in English.
    for (const char* english : {"Illegal", "JPEG", "libpng", "Error", "Warning", "error:"})
        EXPECT_EQ((result.out + result.err).find(english), std::string::npos) << english << " in\n"
                                                                              << result.out << result.err;
}

TEST_F(CliTest, SettingsAreStoredAndUsedUntilAFlagOverridesThemForOneRun) {
    fs::create_directories(out);
    auto set = cli.run({"settings", "--recipient", "山田デザイン事務所", "--template", "{vendor}-{amount}",
                        "--mode", "move", "--dest", out.native(), "--add-alias", "さくら=サクラ文具",
                        "--add-alias", "ひまわり=ひまわり珈琲"});
    ASSERT_EQ(set.exitCode, 0) << set.err;
    EXPECT_TRUE(fs::exists(cli.settingsFile()));
    const auto removed = cli.run({"settings", "--remove-alias", "さくら"});
    ASSERT_EQ(removed.exitCode, 0) << removed.err;
    const auto shown = cli.run({"settings"});
    EXPECT_EQ(shown.out, removed.out) << "the stored settings read back as set";
    for (const auto& line :
         {"受取人 (recipient)\t山田デザイン事務所", "テンプレート (template)\t{vendor}-{amount}",
          "保存方法 (mode)\t移動して保存 (move)", "別名 (alias)\tひまわり\tひまわり珈琲"})
        EXPECT_NE(shown.out.find(std::string(line) + "\n"), std::string::npos) << line << " in\n"
                                                                               << shown.out;
    EXPECT_NE(set.out.find("別名 (alias)\tさくら\tサクラ文具\n"), std::string::npos) << set.out;
    EXPECT_EQ(shown.out.find("別名 (alias)\tさくら"), std::string::npos) << "removed after it was added";

    const auto settingsBefore = readFile(cli.settingsFile());
    auto copied = cli.run({"save", "--mode", "copy", sample("scan_0002.pdf")});
    ASSERT_EQ(copied.exitCode, 0) << copied.err;
    EXPECT_TRUE(fs::exists(out / "ひまわり珈琲-1400.pdf")) << "stored template, alias and folder";
    EXPECT_TRUE(fs::exists(in / "scan_0002.pdf")) << "the flag's copy mode";
    EXPECT_EQ(readFile(cli.settingsFile()), settingsBefore) << "flags are for one run";

    auto moved = cli.run({"save", sample("invoice-may.pdf")});
    ASSERT_EQ(moved.exitCode, 0) << moved.err;
    EXPECT_FALSE(fs::exists(in / "invoice-may.pdf")) << "the stored move mode";
    EXPECT_TRUE(fs::exists(out / "みどり印刷-49500.pdf"));

    struct Bad {
        std::vector<std::string> args;
        int exitCode;
    };
    for (const auto& bad : std::vector<Bad>{{{"settings", "--mode", "delete"}, 2},
                                            {{"settings", "--add-alias", "novalue"}, 2},
                                            {{"settings", "--dest", (dir / "nowhere").native()}, 1}}) {
        EXPECT_EQ(cli.run(bad.args).exitCode, bad.exitCode) << bad.args[2];
        EXPECT_EQ(readFile(cli.settingsFile()), settingsBefore) << bad.args[2];
    }
}

// Which books the planner refuses is its own to test; here, how the command says so.
TEST_F(CliTest, ABookThatCannotBeAppendedStopsTheSaveBeforeAnyFileMoves) {
    const auto refusedName = cli.run({"settings", "--index-book-name", "../book.csv"});
    EXPECT_EQ(refusedName.exitCode, 2);
    EXPECT_NE(refusedName.err.find("索引簿のファイル名が正しくありません"), std::string::npos)
        << refusedName.err;

    writeFile(out / "索引簿.csv", "\x98\x41\x94\xd4\r\n1,2024/01/01,100,\x8f\xa4\x93\x58\r\n");
    const auto before = tree(in);
    const auto result = cli.run({"save", "--mode", "move", "--dest", out.native(), in.native()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("保存に失敗しました: 索引簿がUTF-8ではないため追記できません"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(tree(in), before) << "nothing moved";
    EXPECT_EQ(names(out), std::set<std::string>{"索引簿.csv"}) << "nothing saved";
}

TEST_F(CliTest, ABatchThatStopsStillReportsAndRecordsTheFilesSavedBeforeIt) {
    // The link reads like its target, but once the target has moved the link leads nowhere.
    fs::create_symlink(in / "scan_0002.pdf", in / "scan_0003-link.pdf");
    const auto result =
        cli.run({"save", "--mode", "move", "--dest", out.native(), sample("scan_0001.pdf"),
                 sample("scan_0002.pdf"), sample("scan_0003-link.pdf"), sample("invoice-may.pdf")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.out.find("2件を保存しました"), std::string::npos) << result.out;
    EXPECT_EQ(
        result.err,
        "保存に失敗しました: 元ファイルが見つかりません: scan_0003-link.pdf（2件は保存されていません）\n");
    EXPECT_EQ(names(out), (std::set<std::string>{kStationery, kCafe, "索引簿.csv"}));
    EXPECT_TRUE(fs::exists(in / "invoice-may.pdf")) << "plans after the failing one are not attempted";
}

TEST_F(CliTest, HelpIsJapaneseWithEnglish) {
    for (const std::string command : {"", "scan", "save", "export-index", "settings"}) {
        std::vector<std::string> args;
        if (!command.empty()) args.push_back(command);
        args.push_back("--help");
        const auto result = cli.run(args);
        EXPECT_EQ(result.exitCode, 0) << command;
        EXPECT_NE(result.out.find("このヘルプを表示 (show this help)"), std::string::npos) << command;
    }
}

}  // namespace

TEST_F(CliTest, AVendorRememberedByItsNumbersNamesItsNextReceiptsUntilForgotten) {
    auto logoShop = [](const std::string& fileName, const std::string& numberLine, int day) {
        tavori::SamplePdf::Document d = tavori::SamplePdf::receipt("和菓子 本町店", 6, day, 1080);
        d.fileName = fileName;
        d.lines.insert(d.lines.begin() + 1, {{"TEL 03-1234-5678", 36, 52, 9}, {numberLine, 36, 62, 9}});
        return d;
    };
    const fs::path first = in / "logo1.pdf", second = in / "logo2.pdf";
    tavori::SamplePdf::write(first, logoShop("logo1.pdf", "登録番号 T5000012010024", 3));
    tavori::SamplePdf::write(second, logoShop("logo2.pdf", "お買い上げありがとうございます", 9));

    const auto remembered = cli.run({"remember", first.native(), "--vendor", "みなと製菓"});
    ASSERT_EQ(remembered.exitCode, 0) << remembered.err;
    EXPECT_EQ(remembered.out,
              "覚えました (remembered)\t登録番号 T5000012010024\tみなと製菓\n"
              "覚えました (remembered)\t電話番号 03-1234-5678\tみなと製菓\n");
    const auto listed = cli.run({"settings"});
    EXPECT_NE(listed.out.find("覚えた取引先 (remembered vendor)\t電話番号 03-1234-5678\tみなと製菓\n"),
              std::string::npos)
        << listed.out;

    // The second receipt has only the telephone number in common.
    const auto scanned = cli.run({"scan", second.native()});
    ASSERT_EQ(scanned.exitCode, 0) << scanned.err;
    const auto cols = split(scanned.out, '\t');
    ASSERT_GT(cols.size(), 7U) << scanned.out;
    EXPECT_EQ(cols[3], "みなと製菓");
    EXPECT_EQ(split(cols[7], '/').at(1), "high") << cols[7];
    EXPECT_NE(scanned.out.find("以前の修正から: 電話番号 03-1234-5678"), std::string::npos) << scanned.out;

    EXPECT_EQ(cli.run({"forget", "03-1234-5678"}).exitCode, 0);
    const auto again = cli.run({"forget", "03-1234-5678"});
    EXPECT_EQ(again.exitCode, 2);
    EXPECT_NE(again.err.find("覚えていません"), std::string::npos) << again.err;
    EXPECT_EQ(split(cli.run({"scan", second.native()}).out, '\t')[3], "和菓子 本町店");

    const auto neither = cli.run({"remember", sample("scan_0002.pdf"), "--vendor", "喫茶ひまわり"});
    EXPECT_EQ(neither.exitCode, 2);
    EXPECT_NE(neither.err.find("登録番号も電話番号も見つからない"), std::string::npos) << neither.err;
}
