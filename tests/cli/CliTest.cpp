#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "../TestFiles.h"
#include "CliRunner.h"
#include "samples/CraftedFiles.h"
#include "samples/SamplePdf.h"

namespace fs = std::filesystem;
using tavori::test::CliRunner;
using tavori::test::names;
using tavori::test::readFile;
using tavori::test::TestFolder;
using tavori::test::writeFile;

namespace {

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) parts.push_back(part);
    return parts;
}

// Every file below `folder` with its bytes, so that a run can be shown to have changed nothing.
std::map<std::string, std::string> snapshot(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) files[entry.path().native()] = readFile(entry.path());
    return files;
}

class CliTest : public ::testing::Test {
  protected:
    TestFolder dir;
    CliRunner cli{dir.path()};
    fs::path in = dir / "in";
    fs::path out = dir / "out";

    void SetUp() override {
        fs::create_directories(in);
        for (const auto& document : tavori::SamplePdf::samples())
            tavori::SamplePdf::write(in / document.fileName, document);
    }
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
        const auto cols = split(lines[i], '\t');
        // The last column, possible duplicates, is empty: the line ends with its tab.
        ASSERT_EQ(cols.size(), 10u) << row.file << ": " << lines[i];
        EXPECT_TRUE(lines[i].ends_with("\t")) << row.file;
        EXPECT_EQ(cols[0], sample(row.file));
        EXPECT_EQ(cols[1], row.status) << row.file;
        EXPECT_EQ(cols[2], row.date) << row.file;
        EXPECT_EQ(cols[3], row.vendor) << row.file;
        EXPECT_EQ(cols[4], row.amount) << row.file;
        EXPECT_EQ(cols[5], row.type) << row.file;
        EXPECT_EQ(cols[6], row.regno) << row.file;
        EXPECT_EQ(cols[7], row.levels) << row.file;
        EXPECT_EQ(cols[8].empty(), row.levels == "high/high/high")
            << row.file << " review reasons: " << cols[8];
        EXPECT_EQ(cols[9], row.name) << row.file;
    }
}

TEST_F(CliTest, ScanJsonGivesOneObjectPerLineAndErrorsInJapanese) {
    writeFile(dir / "broken.pdf", "%PDF-1.4 nothing else");
    writeFile(dir / "notes.txt", "hello");
    const auto result = cli.run({"scan", "--json", sample("scan_0002.pdf"), (dir / "broken.pdf").native(),
                                 (dir / "gone.pdf").native(), (dir / "notes.txt").native()});
    EXPECT_EQ(result.exitCode, 1) << "a file that cannot be read fails the run";
    const auto lines = split(result.out, '\n');
    ASSERT_EQ(lines.size(), 4u) << result.out;
    const auto cafe = nlohmann::json::parse(lines[0]);
    EXPECT_EQ(cafe["status"], "ready");
    EXPECT_EQ(cafe["fields"]["vendor"], "喫茶ひまわり");
    EXPECT_EQ(cafe["fields"]["amount"], 1400);
    EXPECT_EQ(cafe["name"], kCafe);
    struct Case {
        std::string name, error;
    };
    const std::vector<Case> failures = {
        {"broken.pdf", "ファイルを読み込めませんでした（ファイルが壊れているか、読み取れない形式です）"},
        {"gone.pdf",
         "ファイルを読み込めませんでした（ファイルが見つかりません。移動または削除された可能性があります）"},
        {"notes.txt", "対応していないファイル形式です（PDF・JPEG・PNG・HEIC・TIFFに対応）"},
    };
    for (std::size_t i = 0; i < failures.size(); ++i) {
        const auto j = nlohmann::json::parse(lines[i + 1]);
        EXPECT_EQ(j["file"], (dir / failures[i].name).native());
        EXPECT_EQ(j["status"], "failed") << failures[i].name;
        EXPECT_EQ(j["error"], failures[i].error) << failures[i].name;
    }
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
    struct Case {
        std::string label;
        std::vector<std::string> args;
        std::vector<std::string> files;
    };
    const std::vector<Case> cases = {
        {"folder", {folder.native()}, {"Z.pdf", "b.pdf"}},
        {"folder and its file",
         {folder.native(), (folder / "b.pdf").native(), (folder / "./b.pdf").native()},
         {"Z.pdf", "b.pdf"}},
        {"recursive", {"-r", folder.native()}, {"Z.pdf", "b.pdf", "sub/c.pdf"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"scan"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto result = cli.run(args);
        EXPECT_EQ(result.exitCode, 0) << c.label << ": " << result.err;
        std::vector<std::string> files;
        for (const auto& line : split(result.out, '\n'))
            files.push_back(fs::path(split(line, '\t')[0]).lexically_relative(folder).native());
        EXPECT_EQ(files, c.files) << c.label;
    }
}

TEST_F(CliTest, SaveCarriesOutEachModeWithoutReplacingAnything) {
    // The same receipt twice in one batch, and a name already taken (in other case) in the folder.
    fs::copy_file(in / "scan_0001.pdf", in / "scan_0001-copy.pdf");
    struct Case {
        std::string mode;
        bool sourcesStay;
        bool intoDestination;
    };
    for (const Case& c :
         {Case{"copy", true, true}, Case{"move", false, true}, Case{"rename", false, false}}) {
        TestFolder run;
        const fs::path src = run / "src", dest = run / "dest";
        fs::copy(in, src);
        const auto before = snapshot(src);
        const fs::path target = c.intoDestination ? dest : src;
        writeFile(target / "20240315_さくら文具店_990.PDF", "already here");

        std::vector<std::string> args{"save", "--mode", c.mode};
        if (c.intoDestination) args.insert(args.end(), {"--dest", dest.native()});
        for (const auto& [path, bytes] : before) args.push_back(path);
        const auto result = cli.run(args);
        ASSERT_EQ(result.exitCode, 0) << c.mode << ": " << result.err;
        EXPECT_NE(result.out.find("4件を保存しました"), std::string::npos) << c.mode << ": " << result.out;
        EXPECT_NE(result.out.find("索引簿 (index book): " + (target / "索引簿.csv").native()),
                  std::string::npos)
            << c.mode << ": " << result.out;

        const std::set<std::string> saved = {kInvoice, "20240315_さくら文具店_990 (2).pdf",
                                             "20240315_さくら文具店_990 (3).pdf", kCafe};
        for (const auto& name : saved) EXPECT_TRUE(fs::exists(target / name)) << c.mode << ": " << name;
        EXPECT_EQ(readFile(target / "20240315_さくら文具店_990.PDF"), "already here") << c.mode;
        EXPECT_EQ(readFile(target / kCafe), before.at((src / "scan_0002.pdf").native())) << c.mode;
        for (const auto& [path, bytes] : before)
            EXPECT_EQ(fs::exists(path), c.sourcesStay) << c.mode << ": " << path;

        const auto book = split(readFile(target / "索引簿.csv"), '\n');
        ASSERT_EQ(book.size(), 5u) << c.mode;
        EXPECT_EQ(book[2],
                  "2,2024/03/15,990,さくら文具店,領収書,20240315_さくら文具店_990 (2).pdf,T1234567890123,\r")
            << c.mode;
    }
}

TEST_F(CliTest, SecondSaveAppendsNumberedRowsToTheBook) {
    ASSERT_EQ(cli.run({"save", "--dest", out.native(), sample("scan_0001.pdf")}).exitCode, 0);
    const auto result =
        cli.run({"save", "--dest", out.native(), sample("scan_0002.pdf"), sample("invoice-may.pdf")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("2件を保存しました"), std::string::npos) << result.out;
    const std::string book = readFile(out / "索引簿.csv");
    EXPECT_EQ(book,
              "\xEF\xBB\xBF連番,取引年月日,取引金額,取引先,書類種別,ファイル名,登録番号,備考\r\n"
              "1,2024/03/15,990,さくら文具店,領収書,20240315_さくら文具店_990.pdf,T1234567890123,\r\n"
              "2,2024/04/02,1400,喫茶ひまわり,領収書,20240402_喫茶ひまわり_1400.pdf,,\r\n"
              "3,2024/05/31,49500,みどり印刷,請求書,20240531_みどり印刷_49500.pdf,T9876543210987,\r\n");
}

TEST_F(CliTest, DryRunAndMissingDestinationTouchNothing) {
    const auto before = snapshot(dir.path() / "in");
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
        EXPECT_EQ(snapshot(in), before) << c.label;
        EXPECT_FALSE(fs::exists(out)) << c.label;
        EXPECT_FALSE(fs::exists(cli.settingsFile())) << c.label;
    }
}

TEST_F(CliTest, FileNamesThatAreNotUtf8ReachTheBookAsTheSavedName) {
    const std::string odd = "\xff\xfe receipt\x80";
    const std::string bytes = readFile(in / "scan_0002.pdf");
    fs::copy_file(in / "scan_0002.pdf", in / (odd + ".pdf"));
    // An empty template falls back to the source's own base name, made valid text so that the book can
    // name the saved file exactly.
    const std::string saved = "\uFFFD\uFFFD receipt\uFFFD.pdf";
    const auto result =
        cli.run({"save", "--template", "", "--dest", out.native(), (in / (odd + ".pdf")).native()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(names(out), (std::set<std::string>{saved, "索引簿.csv"}));
    EXPECT_EQ(readFile(out / saved), bytes);
    EXPECT_EQ(readFile(in / (odd + ".pdf")), bytes) << "the source keeps its own name";
    const auto book = split(readFile(out / "索引簿.csv"), '\n');
    ASSERT_EQ(book.size(), 2u);
    EXPECT_EQ(split(book[1], ',').at(5), saved);

    const auto scan = cli.run({"scan", "--template", "", (in / (odd + ".pdf")).native()});
    const auto cols = split(split(scan.out, '\n').at(0), '\t');
    EXPECT_EQ(cols.front(), (in / (odd + ".pdf")).native());
    EXPECT_EQ(cols.back(), saved);
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
    // Not even the document being indexed is replaced by its own book.
    const auto ontoSource =
        cli.run({"export-index", sample("invoice-may.pdf"), "-o", sample("invoice-may.pdf")});
    EXPECT_EQ(ontoSource.exitCode, 1);
    EXPECT_EQ(names(in).count("invoice-may.pdf"), 1u);
    EXPECT_NE(readFile(in / "invoice-may.pdf").substr(0, 4), "\xEF\xBB\xBF\xE9") << "still the PDF";

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

    const auto fresh = cli.run({"export-index", sample("invoice-may.pdf"), "-o", (out / "new.csv").native()});
    EXPECT_EQ(fresh.exitCode, 0) << fresh.err;
    EXPECT_TRUE(fs::exists(out / "new.csv"));
}

TEST_F(CliTest, VendorsThatLookLikeFormulasAreTextInTheBook) {
    // Aliases stand in for a receipt whose vendor line reads like a spreadsheet formula.
    const auto set =
        cli.run({"settings", "--add-alias", "さくら文具店==HYPERLINK(\"http://x.test\",\"開く\")",
                 "--add-alias", "喫茶ひまわり=@SUM(A1)", "--add-alias", "みどり印刷=-1+2"});
    ASSERT_EQ(set.exitCode, 0) << set.err;
    const std::vector<std::string> files = {sample("scan_0001.pdf"), sample("scan_0002.pdf"),
                                            sample("invoice-may.pdf")};
    // The file-name cells start with the vendor too, and are neutralized like it.
    const std::vector<std::string> rows = {
        "1,2024/03/15,990,\"'=HYPERLINK(\"\"http://x.test\"\",\"\"開く\"\")\",領収書,"
        "\"'=HYPERLINK(httpx.test,開く).pdf\",T1234567890123,",
        "2,2024/04/02,1400,'@SUM(A1),領収書,'@SUM(A1).pdf,,",
        "3,2024/05/31,49500,'-1+2,請求書,'-1+2.pdf,T9876543210987,",
    };
    fs::create_directories(out);
    std::vector<std::string> exportArgs = {"export-index", "--template", "{vendor}", "--output",
                                           (out / "export.csv").native()};
    exportArgs.insert(exportArgs.end(), files.begin(), files.end());
    const auto exported = cli.run(exportArgs);
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    std::vector<std::string> saveArgs = {"save", "--template", "{vendor}", "--dest",
                                         (out / "saved").native()};
    saveArgs.insert(saveArgs.end(), files.begin(), files.end());
    ASSERT_EQ(cli.run(saveArgs).exitCode, 0);

    for (const fs::path& book : {out / "export.csv", out / "saved" / "索引簿.csv"}) {
        const auto lines = split(readFile(book), '\n');
        ASSERT_EQ(lines.size(), 4u) << book;
        for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(lines[i + 1], rows[i] + "\r") << book;
    }
    EXPECT_TRUE(fs::exists(out / "saved" / "@SUM(A1).pdf")) << "the saved name is the value itself";
}

TEST_F(CliTest, HostileFilesFailWithTheirReasonAndTheBatchGoesOn) {
    const fs::path bad = dir / "bad";
    fs::create_directories(bad);
    writeFile(bad / "a-empty.pdf", "");
    writeFile(bad / "b-zeros.pdf", std::string(1 << 20, '\0'));
    writeFile(bad / "c-text.png", "Dear customer, the invoice is attached.");
    ASSERT_EQ(::mkfifo((bad / "d-pipe.pdf").c_str(), 0600), 0);
    fs::create_symlink(bad / "e-loop.jpg", bad / "e-loop.jpg");
    const auto png = tavori::CraftedFiles::zeroPng(40000, 20);
    writeFile(bad / "f-bomb.png", std::string(png.begin(), png.end()));
    fs::copy_file(in / "scan_0002.pdf", bad / "g-good.pdf");

    std::vector<std::string> args = {"scan"};
    for (const char* name :
         {"a-empty.pdf", "b-zeros.pdf", "c-text.png", "d-pipe.pdf", "e-loop.jpg", "f-bomb.png", "g-good.pdf"})
        args.push_back((bad / name).native());
    const auto result = cli.run(args);
    EXPECT_EQ(result.exitCode, 1) << result.err;
    const std::string unreadable = "ファイルを読み込めませんでした";
    for (const auto& [name, reason] : std::vector<std::pair<std::string, std::string>>{
             {"a-empty.pdf", "ファイルが空です"},
             {"b-zeros.pdf", "中身がPDFではありません"},
             {"c-text.png", "中身が対応している画像ではありません"},
             {"d-pipe.pdf", "通常のファイルではありません"},
             {"e-loop.jpg", "シンボリックリンクが循環しています"},
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

// Stores settings as another version of the program might have left them, past the command's own checks.
void storeIndexBookName(const fs::path& settingsFile, const std::string& name) {
    auto document = nlohmann::json::parse(readFile(settingsFile));
    document["settings.v1"]["indexBookFileName"] = name;
    writeFile(settingsFile, document.dump());
}

TEST_F(CliTest, ABookThatCannotBeAppendedStopsTheSaveBeforeAnyFileMoves) {
    const auto refusedName = cli.run({"settings", "--index-book-name", "../book.csv"});
    EXPECT_EQ(refusedName.exitCode, 2);
    EXPECT_NE(refusedName.err.find("索引簿のファイル名が正しくありません"), std::string::npos)
        << refusedName.err;
    ASSERT_EQ(cli.run({"settings", "--recipient", "山田"}).exitCode, 0);

    struct Case {
        std::string label;
        std::function<void()> arrange;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"name with a folder", [&] { storeIndexBookName(cli.settingsFile(), "../book.csv"); },
         "索引簿のファイル名が正しくありません"},
        {"book is a link",
         [&] {
             writeFile(dir / "elsewhere.csv", "");
             fs::create_directories(out);
             fs::create_symlink(dir / "elsewhere.csv", out / "索引簿.csv");
         },
         "索引簿の場所に通常のファイルではないもの"},
        {"book is a folder", [&] { fs::create_directories(out / "索引簿.csv"); },
         "索引簿の場所に通常のファイルではないもの"},
        {"book in Shift_JIS",
         [&] {
             fs::create_directories(out);
             writeFile(out / "索引簿.csv", "\x98\x41\x94\xd4\r\n1,2024/01/01,100,\x8f\xa4\x93\x58\r\n");
         },
         "索引簿がUTF-8ではないため追記できません"},
        {"destination is a file", [&] { writeFile(out, "not a folder"); }, "保存先フォルダに書き込めません"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        storeIndexBookName(cli.settingsFile(), "索引簿.csv");
        std::error_code ec;
        fs::remove_all(out, ec);
        c.arrange();
        const auto before = snapshot(in);
        const auto result = cli.run({"save", "--mode", "move", "--dest", out.native(), in.native()});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find("保存に失敗しました: " + c.message), std::string::npos) << result.err;
        EXPECT_EQ(snapshot(in), before) << "nothing moved";
        if (fs::is_directory(out)) {
            for (const auto& name : names(out)) EXPECT_FALSE(name.ends_with(".pdf")) << name << " was saved";
        }
        const auto dryRun =
            cli.run({"save", "--dry-run", "--mode", "move", "--dest", out.native(), in.native()});
        EXPECT_EQ(dryRun.exitCode, 1) << "a dry run meets the same check";
    }
}

TEST_F(CliTest, ADryRunShowsTheNamesTheSaveGives) {
    fs::copy_file(in / "scan_0002.pdf", in / "scan_0002-copy.pdf");
    writeFile(out / kCafe, "already here");
    const std::vector<std::string> files = {sample("scan_0002.pdf"), sample("scan_0002-copy.pdf"),
                                            sample("invoice-may.pdf")};
    std::vector<std::string> dryArgs = {"save", "--dry-run", "--dest", out.native()};
    dryArgs.insert(dryArgs.end(), files.begin(), files.end());
    const auto dryRun = cli.run(dryArgs);
    ASSERT_EQ(dryRun.exitCode, 0) << dryRun.err;
    std::vector<std::string> planned;
    for (const auto& line : split(dryRun.out, '\n')) {
        const auto cols = split(line, '\t');
        if (cols.size() == 3) planned.push_back(cols[1] + " -> " + cols[2]);
    }
    EXPECT_EQ(planned.size(), 3u) << dryRun.out;
    EXPECT_NE(dryRun.out.find((out / "20240402_喫茶ひまわり_1400 (3).pdf").native()), std::string::npos)
        << dryRun.out;

    std::vector<std::string> saveArgs = {"save", "--dest", out.native()};
    saveArgs.insert(saveArgs.end(), files.begin(), files.end());
    const auto saved = cli.run(saveArgs);
    ASSERT_EQ(saved.exitCode, 0) << saved.err;
    std::vector<std::string> done;
    for (const auto& line : split(saved.out, '\n'))
        if (line.find(" -> ") != std::string::npos) done.push_back(line);
    EXPECT_EQ(done, planned);
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
    const auto book = split(readFile(out / "索引簿.csv"), '\n');
    ASSERT_EQ(book.size(), 3u);
    EXPECT_EQ(book[2], "2,2024/04/02,1400,喫茶ひまわり,領収書,20240402_喫茶ひまわり_1400.pdf,,\r");
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
