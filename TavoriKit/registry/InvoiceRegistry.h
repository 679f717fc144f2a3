#pragma once

#include <cstdint>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "TavoriCore/ReceiptFields.h"
#include "TavoriKit/registry/RegistrationStatus.h"
#include "TavoriKit/registry/RegistryRecord.h"

namespace tavori {

class SqliteDatabase;
class SqliteStatement;

// A failure of the register, with its Japanese description as what().
class RegistryError : public std::exception {
  public:
    enum class Case {
        unreadableFile,   // a file to import cannot be opened or read (a damaged zip included)
        notRegistryFile,  // a file holds no rows of the published register
        busy,             // another import is running
        cancelled,        // the import was stopped; the register is as it was
        notWritten,       // the new register could not be written; the old one is as it was
        damaged,          // the register on disk cannot be read
    };
    RegistryError(Case c, std::filesystem::path path, std::string detail = {});

    Case errorCase() const { return case_; }
    const std::filesystem::path& path() const { return path_; }
    const char* what() const noexcept override { return message_.c_str(); }

  private:
    Case case_;
    std::filesystem::path path_;
    std::string message_;
};

// One import as the register remembers it.
struct RegistryImportEntry {
    std::string file;           // the file's name as given
    std::string importedAt;     // UTC, "yyyy-MM-ddTHH:mm:ssZ"
    std::uint64_t rows = 0;     // rows read from it
    std::uint64_t skipped = 0;  // malformed rows left out
    bool operator==(const RegistryImportEntry&) const = default;
};

struct RegistrySummary {
    std::uint64_t records = 0;  // numbers in the register (deleted ones not counted)
    std::uint64_t corporations = 0;
    std::uint64_t soleProprietors = 0;
    std::optional<DateComponentsValue> dataDate;  // the newest update date in the data
    std::vector<RegistryImportEntry> imports;     // oldest first
};

// The imported register of qualified-invoice issuers: one SQLite file that is only ever replaced whole, so a
// reader never sees half an import. Lookups may run on several threads at once.
class InvoiceRegistry {
  public:
    // $XDG_DATA_HOME/tavori-name/registry.sqlite, or ~/.local/share/tavori-name/registry.sqlite.
    static std::filesystem::path standardLocation();
    // The same from given values (null for an unset variable); a relative XDG_DATA_HOME is ignored.
    static std::filesystem::path locationFor(const char* xdgDataHome, const char* home);

    // The register at `location`, or nothing when none has been imported. Throws RegistryError (damaged) when
    // the file is there but is not a register this program wrote.
    static std::unique_ptr<InvoiceRegistry> open(const std::filesystem::path& location);

    ~InvoiceRegistry();
    InvoiceRegistry(const InvoiceRegistry&) = delete;
    InvoiceRegistry& operator=(const InvoiceRegistry&) = delete;

    // The register's row for a number ("T" and 13 digits; half- or full-width, hyphens and spaces ignored),
    // deleted rows included; nothing when it is not there or is not a number.
    std::optional<RegistryRecord> lookup(std::string_view number) const;
    // The status of `number` on `date` (the document's date, when it has one).
    RegistrationStatus check(std::string_view number, std::optional<DateComponentsValue> date) const;
    // The status of a document's registration number on the document's date; nothing when it has no number.
    std::optional<RegistrationStatus> check(const ReceiptFields& fields) const;
    const RegistrySummary& summary() const { return summary_; }
    const std::filesystem::path& location() const { return location_; }

    // The register at the standard location for the analysis of documents: nothing when none has been
    // imported, and nothing, with the reason in `problem`, when it cannot be read (the analysis goes on
    // without it).
    static std::unique_ptr<InvoiceRegistry> openForAnalysis(std::string* problem = nullptr);

    // The format of the file; an import refuses to build on a file of another.
    static constexpr int formatVersion = 1;

  private:
    explicit InvoiceRegistry(std::filesystem::path location);

    std::filesystem::path location_;
    std::unique_ptr<SqliteDatabase> db_;
    std::unique_ptr<SqliteStatement> lookup_;
    mutable std::mutex mutex_;
    RegistrySummary summary_;
};

// The 13 digits of a registration number as an integer key; nothing unless the text holds a T (or none) and
// exactly 13 digits, in either width, with spaces and hyphens between them.
std::optional<std::int64_t> registrationKey(std::string_view number);

}  // namespace tavori
