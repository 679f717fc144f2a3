#pragma once

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

// The subcommands of `tavori`, each returning the process exit status. Normal output goes to `out`, errors
// and progress to `err`.
namespace tavori::Commands {

struct FileOptions {
    std::vector<std::filesystem::path> paths;
    bool recursive = false;
};

struct ScanOptions {
    FileOptions files;
    bool json = false;
    std::optional<std::string> templateText;
};

struct SaveOptions {
    FileOptions files;
    std::optional<std::string> mode;  // copy, move or rename
    std::optional<std::filesystem::path> destination;
    std::optional<std::string> templateText;
    bool noIndexBook = false;
    bool dryRun = false;
};

struct ExportOptions {
    FileOptions files;
    std::filesystem::path output;
    std::optional<std::string> templateText;
    bool force = false;  // replace an existing file at `output`
};

struct JournalOptions {
    FileOptions files;
    std::string format;  // yayoi, freee or generic
    std::filesystem::path output;
    bool force = false;
};

struct SettingsOptions {
    std::optional<std::string> recipient;
    std::optional<std::string> templateText;
    std::optional<std::string> dateFormat;
    std::optional<std::string> mode;
    std::optional<std::filesystem::path> destination;
    std::optional<bool> indexBook;
    std::optional<std::string> indexBookFileName;
    std::vector<std::string> addAliases;  // PATTERN=CANONICAL
    std::vector<std::string> removeAliases;
    std::optional<bool> indexBookTaxColumns;
    std::vector<std::string> accounts;  // KEY=ACCOUNT; an empty account removes the entry
};

// Conditions as typed; each is checked and turned into the query by the command.
struct SearchOptions {
    std::vector<std::filesystem::path> books;  // books or folders holding one; none: the destination's book
    std::optional<std::string> from;
    std::optional<std::string> to;
    std::optional<std::string> minAmount;
    std::optional<std::string> maxAmount;
    std::optional<std::string> vendor;
    std::optional<std::string> documentType;
    std::optional<std::string> registrationNumber;
    bool json = false;
};

struct RegistryImportOptions {
    std::vector<std::filesystem::path> files;
    bool replace = false;
};

struct RegistryLookupOptions {
    std::string number;
    std::optional<std::string> date;  // yyyy-MM-dd
    bool json = false;
};

struct WatchOptions {
    std::filesystem::path folder;
    std::optional<std::string> mode;  // copy, move or rename
    std::optional<std::filesystem::path> destination;
    bool saveConfident = false;  // save what asks for no review as soon as it is read
    double settleSeconds = 1.0;  // how long a file must stay unchanged before it is read
};

int scan(const ScanOptions& options, std::ostream& out, std::ostream& err);
int save(const SaveOptions& options, std::ostream& out, std::ostream& err);
// Runs until Ctrl-C or SIGTERM: 0, or 1 when a file could not be read or saved.
int watch(const WatchOptions& options, std::ostream& out, std::ostream& err);
int exportIndex(const ExportOptions& options, std::ostream& out, std::ostream& err);
int exportJournal(const JournalOptions& options, std::ostream& out, std::ostream& err);
int search(const SearchOptions& options, std::ostream& out, std::ostream& err);
int settings(const SettingsOptions& options, std::ostream& out, std::ostream& err);
// 0 when done; 130 when interrupted (the register is then as it was).
int registryImport(const RegistryImportOptions& options, std::ostream& out, std::ostream& err);
// 0 when the number is registered and in force on the date, 2 when it is not (or not found), 1 on an error.
int registryLookup(const RegistryLookupOptions& options, std::ostream& out, std::ostream& err);
int registryStatus(std::ostream& out, std::ostream& err);

}  // namespace tavori::Commands
