#include "cli/CommandLine.h"

#include <ostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/Commands.h"

namespace tavori::CommandLine {
namespace {

struct PathArguments {
    std::vector<std::string> paths;
    bool recursive = false;

    void add(CLI::App& command) {
        command.add_option("paths", paths, "ファイルまたはフォルダ (files or folders)")->required();
        command.add_flag("-r,--recursive", recursive, "サブフォルダも読む (include subfolders)");
    }
    Commands::FileOptions options() const {
        return {std::vector<std::filesystem::path>(paths.begin(), paths.end()), recursive};
    }
};

template <class T>
std::optional<std::filesystem::path> asPath(const std::optional<T>& text) {
    if (!text) return std::nullopt;
    return std::filesystem::path(*text);
}

}  // namespace

int run(int argc, char** argv, std::ostream& out, std::ostream& err) {
    CLI::App app{
        "TavoriName: 領収書・請求書を読み取り、名前を付けて保存します (reads receipts and invoices, names "
        "and "
        "saves them)",
        "tavori"};
    app.require_subcommand(1);
    app.set_help_flag("-h,--help", "このヘルプを表示 (show this help)");

    PathArguments scanFiles;
    bool json = false;
    std::optional<std::string> scanTemplate;
    auto* scan = app.add_subcommand("scan", "読み取り結果を表示 (show what is read)");
    scan->footer(
        "1行に1ファイル、タブ区切り (one tab-separated row per file): ファイル (file), 状態 (status: "
        "ready/review/failed), 日付 (date), 取引先 (vendor), 金額 (amount), 書類種別 (type), 登録番号 "
        "(registration number), 確度 (confidence date/vendor/amount), 確認の理由 (review reasons), 保存名 "
        "(name), 重複の可能性 (possible duplicates)。"
        "読み取れないファイルは failed とその理由 (unreadable files: failed and the reason)");
    scanFiles.add(*scan);
    scan->add_flag("--json", json, "1行に1つのJSON (one JSON object per line)");
    scan->add_option("--template", scanTemplate, "ファイル名テンプレート (file-name template)");

    PathArguments saveFiles;
    Commands::SaveOptions saveOptions;
    std::optional<std::string> saveDest;
    auto* save = app.add_subcommand("save", "読み取ったファイルを保存 (save the files that read)");
    saveFiles.add(*save);
    save->add_option("--mode", saveOptions.mode, "copy | move | rename（保存方法 / how to save）");
    save->add_option("--dest", saveDest, "保存先フォルダ (destination folder)");
    save->add_option("--template", saveOptions.templateText, "ファイル名テンプレート (file-name template)");
    save->add_flag("--no-index-book", saveOptions.noIndexBook,
                   "索引簿に書かない (do not write the index book)");
    save->add_flag("--dry-run", saveOptions.dryRun, "予定だけ表示 (show the plan, change nothing)");

    Commands::WatchOptions watchOptions;
    std::string watchFolder;
    std::optional<std::string> watchDest;
    auto* watch =
        app.add_subcommand("watch", "受信フォルダを監視して読み取る (read what arrives in a folder)");
    watch->footer(
        "届いたファイル（サブフォルダも）を書き終わってから読み、scan と同じ列で1行ずつ表示します (reads "
        "each "
        "file that arrives, once it is complete, and prints the scan columns)。Ctrl-C で終了 (to stop); "
        "次の起動では、その間に届いたものも読みます (the next start reads what arrived meanwhile)");
    watch->add_option("folder", watchFolder, "受信フォルダ (the inbox folder)")->required();
    watch->add_option("--mode", watchOptions.mode, "copy | move | rename（保存方法 / how to save）");
    watch->add_option("--dest", watchDest, "保存先フォルダ (destination folder)");
    watch->add_flag("--save-confident", watchOptions.saveConfident,
                    "確認不要なものは自動で保存 (save what asks for no review)");
    watch
        ->add_option("--settle", watchOptions.settleSeconds,
                     "変化がなくなってから読むまでの秒数 (seconds a file must stay unchanged), 1")
        ->check(CLI::Range(0.0, 3600.0));

    PathArguments exportFiles;
    Commands::ExportOptions exportOptions;
    std::string exportOutput;
    std::optional<std::string> exportTemplate;
    auto* exportIndex = app.add_subcommand("export-index", "索引簿を書き出す (export an index book)");
    exportFiles.add(*exportIndex);
    exportIndex->add_option("-o,--output", exportOutput, "書き出すCSVファイル (CSV file to write)")
        ->required();
    exportIndex->add_option("--template", exportTemplate, "ファイル名テンプレート (file-name template)");
    exportIndex->add_flag("-f,--force", exportOptions.force,
                          "既にあるファイルを置き換える (replace an existing file)");

    PathArguments journalFiles;
    Commands::JournalOptions journalOptions;
    std::string journalOutput;
    auto* exportJournal = app.add_subcommand(
        "export-journal", "会計ソフト用の仕訳を書き出す (export a journal for accounting software)");
    journalFiles.add(*exportJournal);
    exportJournal->add_option("--format", journalOptions.format, "yayoi | freee | generic")
        ->required()
        ->check(CLI::IsMember({"yayoi", "freee", "generic"}));
    exportJournal->add_option("-o,--output", journalOutput, "書き出すファイル (file to write)")->required();
    exportJournal->add_flag("-f,--force", journalOptions.force,
                            "既にあるファイルを置き換える (replace an existing file)");
    exportJournal->footer(
        "yayoi: 弥生会計の仕訳日記帳インポート形式 (Shift_JIS)、税率ごとに1行。freee: 取引インポート形式 "
        "(Shift_JIS)、1書類1取引で税率ごとに1行。generic: UTF-8のCSV、1書類1行。勘定科目は設定の表から "
        "(account from the settings' table; default 消耗品費)");

    Commands::SearchOptions searchOptions;
    std::vector<std::string> searchBooks;
    auto* search = app.add_subcommand("search", "索引簿を検索 (search index books)");
    search->footer(
        "1行に1件、取引年月日の順、タブ区切り (one tab-separated row per document, by date): 取引年月日 "
        "(date), "
        "取引金額 (amount), 取引先 (vendor), 書類種別 (type), 登録番号 (registration number), ファイル (the "
        "document beside its book), あり/なし (whether it still "
        "exists)。索引簿を指定しないときは保存先の索引簿 "
        "(without a book: the destination's book)");
    search->add_option("books", searchBooks, "索引簿またはそのフォルダ (index books or their folders)");
    search->add_option("--from", searchOptions.from, "この日から (from this date), 2024-01-01");
    search->add_option("--to", searchOptions.to, "この日まで (up to this date), 2024-03-31");
    search->add_option("--min", searchOptions.minAmount, "この金額以上 (at least this amount)");
    search->add_option("--max", searchOptions.maxAmount, "この金額以下 (at most this amount)");
    search->add_option("--vendor", searchOptions.vendor, "取引先に含む文字 (text in the vendor)");
    search->add_option("--type", searchOptions.documentType, "書類種別 (document type), 領収書");
    search->add_option("--registration", searchOptions.registrationNumber,
                       "登録番号 (registration number), T1234567890123");
    search->add_flag("--json", searchOptions.json, "1行に1つのJSON (one JSON object per line)");

    Commands::SettingsOptions settingsOptions;
    std::optional<std::string> settingsDest;
    std::optional<std::string> indexBook;
    auto* settings = app.add_subcommand("settings", "設定の表示と変更 (show or change the settings)");
    settings->add_option("--recipient", settingsOptions.recipient,
                         "自分の名前・屋号・会社名 (your own name, trade name or company)");
    settings->add_option(
        "--template", settingsOptions.templateText,
        "ファイル名テンプレート {date} {vendor} {amount} {type} {regno} (file-name template)");
    settings->add_option("--date-format", settingsOptions.dateFormat, "日付形式 (date format), yyyyMMdd");
    settings->add_option("--mode", settingsOptions.mode, "copy | move | rename（保存方法 / how to save）");
    settings->add_option("--dest", settingsDest, "保存先フォルダ (destination folder)");
    settings->add_option("--index-book", indexBook, "索引簿に書く on | off (write the index book)")
        ->check(CLI::IsMember({"on", "off"}));
    settings->add_option("--index-book-name", settingsOptions.indexBookFileName,
                         "索引簿のファイル名 (index book file name)");
    settings->add_option("--add-alias", settingsOptions.addAliases,
                         "取引先の別名 PATTERN=CANONICAL (vendor alias)");
    settings->add_option("--remove-alias", settingsOptions.removeAliases,
                         "別名を削除 PATTERN (remove an alias)");
    std::optional<std::string> taxColumns;
    settings
        ->add_option("--index-book-tax-columns", taxColumns,
                     "索引簿の備考の後に税率別の列 on | off (tax-rate columns in new index books)")
        ->check(CLI::IsMember({"on", "off"}));
    settings->add_option(
        "--account", settingsOptions.accounts,
        "仕訳の勘定科目 書類種別=科目 | 取引先=科目 | *=科目、空の科目で削除 (journal account by "
        "type, vendor or default)");

    auto* registry = app.add_subcommand(
        "registry", "適格請求書発行事業者の公表データ (the published register of qualified-invoice issuers)");
    registry->require_subcommand(1);
    registry->footer(
        "公表データは国税庁のサイトからダウンロードします (download the data from "
        "https://www.invoice-kohyo.nta.go.jp/download/)。このコマンドはネットワークに接続しません (nothing "
        "is "
        "fetched from the network)");
    std::vector<std::string> importFiles;
    Commands::RegistryImportOptions importOptions;
    auto* registryImport =
        registry->add_subcommand("import", "公表データを取り込む (import published files)");
    registryImport
        ->add_option("files", importFiles, "全件データ・差分データのCSVまたはzip (CSV or zip files)")
        ->required();
    registryImport->add_flag("--replace", importOptions.replace,
                             "今のデータを捨てて取り込む (start from an empty register)");
    Commands::RegistryLookupOptions lookupOptions;
    auto* registryLookup = registry->add_subcommand("lookup", "登録番号を調べる (look a number up)");
    registryLookup->add_option("number", lookupOptions.number, "T＋13桁 (T and 13 digits)")->required();
    registryLookup->add_option("--date", lookupOptions.date, "取引日 (transaction date) yyyy-MM-dd");
    registryLookup->add_flag("--json", lookupOptions.json, "JSONで出力 (as JSON)");
    registryLookup->footer(
        "終了コード (exit status): 0 登録済みで有効 (registered and in force), 2 それ以外 (otherwise), 1 "
        "エラー "
        "(error)");
    auto* registryStatus = registry->add_subcommand("status", "取り込んだデータの状態 (what was imported)");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e, out, err);
    }

    if (*scan) {
        Commands::ScanOptions options{scanFiles.options(), json, scanTemplate};
        return Commands::scan(options, out, err);
    }
    if (*save) {
        saveOptions.files = saveFiles.options();
        saveOptions.destination = asPath(saveDest);
        return Commands::save(saveOptions, out, err);
    }
    if (*watch) {
        watchOptions.folder = watchFolder;
        watchOptions.destination = asPath(watchDest);
        return Commands::watch(watchOptions, out, err);
    }
    if (*exportIndex) {
        exportOptions.files = exportFiles.options();
        exportOptions.output = exportOutput;
        exportOptions.templateText = exportTemplate;
        return Commands::exportIndex(exportOptions, out, err);
    }
    if (*exportJournal) {
        journalOptions.files = journalFiles.options();
        journalOptions.output = journalOutput;
        return Commands::exportJournal(journalOptions, out, err);
    }
    if (*search) {
        searchOptions.books.assign(searchBooks.begin(), searchBooks.end());
        return Commands::search(searchOptions, out, err);
    }
    if (*registryImport) {
        importOptions.files.assign(importFiles.begin(), importFiles.end());
        return Commands::registryImport(importOptions, out, err);
    }
    if (*registryLookup) return Commands::registryLookup(lookupOptions, out, err);
    if (*registryStatus) return Commands::registryStatus(out, err);
    settingsOptions.destination = asPath(settingsDest);
    if (indexBook) settingsOptions.indexBook = *indexBook == "on";
    if (taxColumns) settingsOptions.indexBookTaxColumns = *taxColumns == "on";
    return Commands::settings(settingsOptions, out, err);
}

}  // namespace tavori::CommandLine
