#include "cli/CommandLine.h"

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/Commands.h"

namespace tavori::CommandLine {
namespace {

using Action = std::function<int(std::ostream& out, std::ostream& err)>;

// A subcommand and what runs it once the arguments are parsed into the options it holds.
struct Subcommand {
    CLI::App* command;
    Action action;
};

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

// The options of a subcommand that reads files: the files as typed and the rest.
template <class Options>
struct FileCommand {
    PathArguments files;
    Options options;

    // The options with the files named.
    Options& parsed() {
        options.files = files.options();
        return options;
    }
};

template <class T>
std::optional<std::filesystem::path> asPath(const std::optional<T>& text) {
    if (!text) return std::nullopt;
    return std::filesystem::path(*text);
}

// The options several subcommands share, with the same words.
void addMode(CLI::App& command, std::optional<std::string>& mode) {
    command.add_option("--mode", mode, "copy | move | rename（保存方法 / how to save）");
}
void addDestination(CLI::App& command, std::optional<std::string>& destination) {
    command.add_option("--dest", destination, "保存先フォルダ (destination folder)");
}
void addTemplate(CLI::App& command, std::optional<std::string>& templateText) {
    command.add_option("--template", templateText, "ファイル名テンプレート (file-name template)");
}
void addForce(CLI::App& command, bool& force) {
    command.add_flag("-f,--force", force, "既にあるファイルを置き換える (replace an existing file)");
}
void addOnOff(CLI::App& command, const std::string& name, std::optional<std::string>& value,
              const std::string& description) {
    command.add_option(name, value, description)->check(CLI::IsMember({"on", "off"}));
}

Subcommand addScan(CLI::App& app) {
    auto a = std::make_shared<FileCommand<Commands::ScanOptions>>();
    auto* scan = app.add_subcommand("scan", "読み取り結果を表示 (show what is read)");
    scan->footer(
        "1行に1ファイル、タブ区切り (one tab-separated row per file): ファイル (file), 状態 (status: "
        "ready/review/failed), 日付 (date), 取引先 (vendor), 金額 (amount), 書類種別 (type), 登録番号 "
        "(registration number), 確度 (confidence date/vendor/amount), 確認の理由 (review reasons), 保存名 "
        "(name), 重複の可能性 (possible duplicates)。"
        "読み取れないファイルは failed とその理由 (unreadable files: failed and the reason)");
    a->files.add(*scan);
    scan->add_flag("--json", a->options.json, "1行に1つのJSON (one JSON object per line)");
    addTemplate(*scan, a->options.templateText);
    return {scan,
            [a](std::ostream& out, std::ostream& err) { return Commands::scan(a->parsed(), out, err); }};
}

Subcommand addSave(CLI::App& app) {
    struct Arguments : FileCommand<Commands::SaveOptions> {
        std::optional<std::string> destination;
    };
    auto a = std::make_shared<Arguments>();
    auto* save = app.add_subcommand("save", "読み取ったファイルを保存 (save the files that read)");
    a->files.add(*save);
    addMode(*save, a->options.mode);
    addDestination(*save, a->destination);
    addTemplate(*save, a->options.templateText);
    save->add_flag("--no-index-book", a->options.noIndexBook,
                   "索引簿に書かない (do not write the index book)");
    save->add_flag("--dry-run", a->options.dryRun, "予定だけ表示 (show the plan, change nothing)");
    return {save, [a](std::ostream& out, std::ostream& err) {
                a->options.destination = asPath(a->destination);
                return Commands::save(a->parsed(), out, err);
            }};
}

Subcommand addWatch(CLI::App& app) {
    struct Arguments {
        Commands::WatchOptions options;
        std::string folder;
        std::optional<std::string> destination;
    };
    auto a = std::make_shared<Arguments>();
    auto* watch =
        app.add_subcommand("watch", "受信フォルダを監視して読み取る (read what arrives in a folder)");
    watch->footer(
        "届いたファイル（サブフォルダも）を書き終わってから読み、scan と同じ列で1行ずつ表示します (reads "
        "each "
        "file that arrives, once it is complete, and prints the scan columns)。Ctrl-C で終了 (to stop); "
        "次の起動では、その間に届いたものも読みます (the next start reads what arrived meanwhile)");
    watch->add_option("folder", a->folder, "受信フォルダ (the inbox folder)")->required();
    addMode(*watch, a->options.mode);
    addDestination(*watch, a->destination);
    watch->add_flag("--save-confident", a->options.saveConfident,
                    "確認不要なものは自動で保存 (save what asks for no review)");
    watch
        ->add_option("--settle", a->options.settleSeconds,
                     "変化がなくなってから読むまでの秒数 (seconds a file must stay unchanged), 1")
        ->check(CLI::Range(0.0, 3600.0));
    return {watch, [a](std::ostream& out, std::ostream& err) {
                a->options.folder = a->folder;
                a->options.destination = asPath(a->destination);
                return Commands::watch(a->options, out, err);
            }};
}

Subcommand addExportIndex(CLI::App& app) {
    auto a = std::make_shared<FileCommand<Commands::ExportOptions>>();
    auto* exportIndex = app.add_subcommand("export-index", "索引簿を書き出す (export an index book)");
    a->files.add(*exportIndex);
    exportIndex->add_option("-o,--output", a->options.output, "書き出すCSVファイル (CSV file to write)")
        ->required();
    addTemplate(*exportIndex, a->options.templateText);
    addForce(*exportIndex, a->options.force);
    return {exportIndex, [a](std::ostream& out, std::ostream& err) {
                return Commands::exportIndex(a->parsed(), out, err);
            }};
}

Subcommand addExportJournal(CLI::App& app) {
    auto a = std::make_shared<FileCommand<Commands::JournalOptions>>();
    auto* exportJournal = app.add_subcommand(
        "export-journal", "会計ソフト用の仕訳を書き出す (export a journal for accounting software)");
    a->files.add(*exportJournal);
    exportJournal->add_option("--format", a->options.format, "yayoi | freee | generic")
        ->required()
        ->check(CLI::IsMember({"yayoi", "freee", "generic"}));
    exportJournal->add_option("-o,--output", a->options.output, "書き出すファイル (file to write)")
        ->required();
    addForce(*exportJournal, a->options.force);
    exportJournal->footer(
        "yayoi: 弥生会計の仕訳日記帳インポート形式 (Shift_JIS)、税率ごとに1行。freee: 取引インポート形式 "
        "(Shift_JIS)、1書類1取引で税率ごとに1行。generic: UTF-8のCSV、1書類1行。勘定科目は設定の表から "
        "(account from the settings' table; default 消耗品費)");
    return {exportJournal, [a](std::ostream& out, std::ostream& err) {
                return Commands::exportJournal(a->parsed(), out, err);
            }};
}

Subcommand addSearch(CLI::App& app) {
    struct Arguments {
        Commands::SearchOptions options;
        std::vector<std::string> books;
    };
    auto a = std::make_shared<Arguments>();
    Commands::SearchOptions& o = a->options;
    auto* search = app.add_subcommand("search", "索引簿を検索 (search index books)");
    search->footer(
        "1行に1件、取引年月日の順、タブ区切り (one tab-separated row per document, by date): 取引年月日 "
        "(date), "
        "取引金額 (amount), 取引先 (vendor), 書類種別 (type), 登録番号 (registration number), ファイル (the "
        "document beside its book), あり/なし (whether it still "
        "exists)。索引簿を指定しないときは保存先の索引簿 "
        "(without a book: the destination's book)");
    search->add_option("books", a->books, "索引簿またはそのフォルダ (index books or their folders)");
    search->add_option("--from", o.from, "この日から (from this date), 2024-01-01");
    search->add_option("--to", o.to, "この日まで (up to this date), 2024-03-31");
    search->add_option("--min", o.minAmount, "この金額以上 (at least this amount)");
    search->add_option("--max", o.maxAmount, "この金額以下 (at most this amount)");
    search->add_option("--vendor", o.vendor, "取引先に含む文字 (text in the vendor)");
    search->add_option("--type", o.documentType, "書類種別 (document type), 領収書");
    search->add_option("--registration", o.registrationNumber,
                       "登録番号 (registration number), T1234567890123");
    search->add_flag("--json", o.json, "1行に1つのJSON (one JSON object per line)");
    return {search, [a](std::ostream& out, std::ostream& err) {
                a->options.books.assign(a->books.begin(), a->books.end());
                return Commands::search(a->options, out, err);
            }};
}

Subcommand addSettings(CLI::App& app) {
    struct Arguments {
        Commands::SettingsOptions options;
        std::optional<std::string> destination;
        std::optional<std::string> indexBook;
        std::optional<std::string> taxColumns;
    };
    auto a = std::make_shared<Arguments>();
    Commands::SettingsOptions& o = a->options;
    auto* settings = app.add_subcommand("settings", "設定の表示と変更 (show or change the settings)");
    settings->add_option("--recipient", o.recipient,
                         "自分の名前・屋号・会社名 (your own name, trade name or company)");
    settings->add_option(
        "--template", o.templateText,
        "ファイル名テンプレート {date} {vendor} {amount} {type} {regno} (file-name template)");
    settings->add_option("--date-format", o.dateFormat, "日付形式 (date format), yyyyMMdd");
    addMode(*settings, o.mode);
    addDestination(*settings, a->destination);
    addOnOff(*settings, "--index-book", a->indexBook, "索引簿に書く on | off (write the index book)");
    settings->add_option("--index-book-name", o.indexBookFileName,
                         "索引簿のファイル名 (index book file name)");
    settings->add_option("--add-alias", o.addAliases, "取引先の別名 PATTERN=CANONICAL (vendor alias)");
    settings->add_option("--remove-alias", o.removeAliases, "別名を削除 PATTERN (remove an alias)");
    addOnOff(*settings, "--index-book-tax-columns", a->taxColumns,
             "索引簿の備考の後に税率別の列 on | off (tax-rate columns in new index books)");
    settings->add_option(
        "--account", o.accounts,
        "仕訳の勘定科目 書類種別=科目 | 取引先=科目 | *=科目、空の科目で削除 (journal account by "
        "type, vendor or default)");
    return {settings, [a](std::ostream& out, std::ostream& err) {
                a->options.destination = asPath(a->destination);
                if (a->indexBook) a->options.indexBook = *a->indexBook == "on";
                if (a->taxColumns) a->options.indexBookTaxColumns = *a->taxColumns == "on";
                return Commands::settings(a->options, out, err);
            }};
}

Subcommand addRemember(CLI::App& app) {
    struct Arguments {
        std::filesystem::path file;
        std::string vendor;
    };
    auto a = std::make_shared<Arguments>();
    auto* remember = app.add_subcommand(
        "remember", "取引先名を登録番号と電話番号で覚える (remember a vendor by its numbers)");
    remember->add_option("file", a->file, "書類 (document)")->required();
    remember->add_option("--vendor", a->vendor, "取引先名 (vendor name)")->required();
    return {remember, [a](std::ostream& out, std::ostream& err) {
                return Commands::remember(a->file, a->vendor, out, err);
            }};
}

Subcommand addForget(CLI::App& app) {
    auto number = std::make_shared<std::string>();
    auto* forget = app.add_subcommand("forget", "覚えた番号を忘れる (forget a remembered number)");
    forget->add_option("number", *number, "登録番号か電話番号 (registration or telephone number)")
        ->required();
    return {forget,
            [number](std::ostream& out, std::ostream& err) { return Commands::forget(*number, out, err); }};
}

// `registry import`, `registry lookup` and `registry status`.
std::vector<Subcommand> addRegistry(CLI::App& app) {
    auto* registry = app.add_subcommand(
        "registry", "適格請求書発行事業者の公表データ (the published register of qualified-invoice issuers)");
    registry->require_subcommand(1);
    registry->footer(
        "公表データは国税庁のサイトからダウンロードします (download the data from "
        "https://www.invoice-kohyo.nta.go.jp/download/)。このコマンドはネットワークに接続しません (nothing "
        "is "
        "fetched from the network)");

    struct ImportArguments {
        std::vector<std::string> files;
        Commands::RegistryImportOptions options;
    };
    auto import = std::make_shared<ImportArguments>();
    auto* registryImport =
        registry->add_subcommand("import", "公表データを取り込む (import published files)");
    registryImport
        ->add_option("files", import->files, "全件データ・差分データのCSVまたはzip (CSV or zip files)")
        ->required();
    registryImport->add_flag("--replace", import->options.replace,
                             "今のデータを捨てて取り込む (start from an empty register)");

    auto lookup = std::make_shared<Commands::RegistryLookupOptions>();
    auto* registryLookup = registry->add_subcommand("lookup", "登録番号を調べる (look a number up)");
    registryLookup->add_option("number", lookup->number, "T＋13桁 (T and 13 digits)")->required();
    registryLookup->add_option("--date", lookup->date, "取引日 (transaction date) yyyy-MM-dd");
    registryLookup->add_flag("--json", lookup->json, "JSONで出力 (as JSON)");
    registryLookup->footer(
        "終了コード (exit status): 0 登録済みで有効 (registered and in force), 2 それ以外 (otherwise), 1 "
        "エラー "
        "(error)");

    auto* registryStatus = registry->add_subcommand("status", "取り込んだデータの状態 (what was imported)");
    return {
        {registryImport,
         [import](std::ostream& out, std::ostream& err) {
             import->options.files.assign(import->files.begin(), import->files.end());
             return Commands::registryImport(import->options, out, err);
         }},
        {registryLookup, [lookup](std::ostream& out,
                                  std::ostream& err) { return Commands::registryLookup(*lookup, out, err); }},
        {registryStatus,
         [](std::ostream& out, std::ostream& err) { return Commands::registryStatus(out, err); }}};
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

    // In the order the help lists them.
    std::vector<Subcommand> subcommands = {addScan(app),        addSave(app),          addWatch(app),
                                           addExportIndex(app), addExportJournal(app), addSearch(app),
                                           addSettings(app),    addRemember(app),      addForget(app)};
    for (Subcommand& registry : addRegistry(app)) subcommands.push_back(std::move(registry));

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e, out, err);
    }
    for (const Subcommand& subcommand : subcommands)
        if (*subcommand.command) return subcommand.action(out, err);
    return 2;  // not reached: one subcommand is required
}

}  // namespace tavori::CommandLine
