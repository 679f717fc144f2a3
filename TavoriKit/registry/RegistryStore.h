#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "TavoriKit/registry/InvoiceRegistry.h"
#include "TavoriKit/registry/SqliteDatabase.h"

// The register's tables, shared by the reader and the importer. Numbers are stored as the integer of their
// 13 digits (the table's row id, so a lookup is one B-tree search), dates as yyyymmdd integers.
namespace tavori::RegistryStore {

inline constexpr const char* lookupSql =
    "SELECT number, process, kind, country, latest, registered, updated, cancelled, expired, name, "
    "trade_name, "
    "popular_name FROM registrant WHERE number = ?1";

int formatVersion(SqliteDatabase& db);
// Creates the tables in an empty file and stamps the format version.
void createSchema(SqliteDatabase& db);
RegistrySummary summary(SqliteDatabase& db);
// Counts the records again and stores them with the newest update date.
void refreshSummary(SqliteDatabase& db);

std::optional<RegistryRecord> lookup(SqliteStatement& statement, std::int64_t key);
std::string numberText(std::int64_t key);

// Applies rows in the order given. A row never replaces one with a later update date, so re-importing an
// older difference file changes nothing; between equal dates the later row wins. Rows of past details fill
// a gap only. A deleted number stays as a marker row, which keeps an older row from bringing it back.
class Writer {
  public:
    explicit Writer(SqliteDatabase& db);
    void apply(const RegistryRecord& record);
    void logImport(const RegistryImportEntry& entry);

  private:
    SqliteStatement upsert_;
    SqliteStatement fillGap_;
    SqliteStatement log_;
};

}  // namespace tavori::RegistryStore
