#include "TavoriKit/registry/RegistryStore.h"

#include <cstdio>

namespace tavori::RegistryStore {
namespace {

std::optional<std::int64_t> dateKey(const std::optional<DateComponentsValue>& date) {
    if (!date) return std::nullopt;
    return std::int64_t{date->year} * 10000 + date->month * 100 + date->day;
}

std::optional<DateComponentsValue> dateFromKey(const SqliteStatement& s, int column) {
    if (s.isNull(column)) return std::nullopt;
    const auto v = s.integer(column);
    DateComponentsValue date{static_cast<int>(v / 10000), static_cast<int>(v / 100 % 100),
                             static_cast<int>(v % 100)};
    if (!date.isValid()) return std::nullopt;
    return date;
}

constexpr const char* columns =
    "(number, process, kind, country, latest, registered, updated, cancelled, expired, name, trade_name, "
    "popular_name) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)";

std::string upsertSql() {
    return std::string("INSERT INTO registrant ") + columns +
           " ON CONFLICT(number) DO UPDATE SET process = excluded.process, kind = excluded.kind, "
           "country = excluded.country, latest = excluded.latest, registered = excluded.registered, "
           "updated = excluded.updated, cancelled = excluded.cancelled, expired = excluded.expired, "
           "name = excluded.name, trade_name = excluded.trade_name, popular_name = excluded.popular_name "
           "WHERE (excluded.process = 99 AND excluded.updated IS NULL) "
           "OR coalesce(excluded.updated, 0) >= coalesce(registrant.updated, 0)";
}

std::int64_t metaValue(SqliteDatabase& db, const char* key) {
    auto s = db.prepare("SELECT value FROM meta WHERE key = ?1");
    s.bind(1, std::string_view(key));
    return s.step() && !s.isNull(0) ? s.integer(0) : 0;
}

}  // namespace

int formatVersion(SqliteDatabase& db) {
    auto s = db.prepare("PRAGMA user_version");
    return s.step() ? static_cast<int>(s.integer(0)) : 0;
}

void createSchema(SqliteDatabase& db) {
    db.execute(
        "CREATE TABLE registrant (number INTEGER PRIMARY KEY, process INTEGER NOT NULL, kind INTEGER, "
        "country INTEGER, latest INTEGER NOT NULL, registered INTEGER, updated INTEGER, cancelled INTEGER, "
        "expired INTEGER, name TEXT, trade_name TEXT, popular_name TEXT);"
        "CREATE TABLE import_log (id INTEGER PRIMARY KEY, file TEXT NOT NULL, imported_at TEXT NOT NULL, "
        "rows INTEGER NOT NULL, skipped INTEGER NOT NULL);"
        "CREATE TABLE meta (key TEXT PRIMARY KEY, value INTEGER);"
        "PRAGMA user_version = " +
        std::to_string(InvoiceRegistry::formatVersion));
}

RegistrySummary summary(SqliteDatabase& db) {
    RegistrySummary s;
    s.records = static_cast<std::uint64_t>(metaValue(db, "records"));
    s.corporations = static_cast<std::uint64_t>(metaValue(db, "corporations"));
    s.soleProprietors = static_cast<std::uint64_t>(metaValue(db, "soleProprietors"));
    if (const auto d = metaValue(db, "dataDate"); d != 0) {
        DateComponentsValue date{static_cast<int>(d / 10000), static_cast<int>(d / 100 % 100),
                                 static_cast<int>(d % 100)};
        if (date.isValid()) s.dataDate = date;
    }
    auto log = db.prepare("SELECT file, imported_at, rows, skipped FROM import_log ORDER BY id");
    while (log.step())
        s.imports.push_back({log.text(0), log.text(1), static_cast<std::uint64_t>(log.integer(2)),
                             static_cast<std::uint64_t>(log.integer(3))});
    return s;
}

void refreshSummary(SqliteDatabase& db) {
    db.execute(
        "INSERT OR REPLACE INTO meta (key, value) SELECT 'records', count(*) FROM registrant WHERE process "
        "<> 99;"
        "INSERT OR REPLACE INTO meta (key, value) SELECT 'corporations', count(*) FROM registrant "
        "WHERE process <> 99 AND kind = 2;"
        "INSERT OR REPLACE INTO meta (key, value) SELECT 'soleProprietors', count(*) FROM registrant "
        "WHERE process <> 99 AND kind = 1;"
        "INSERT OR REPLACE INTO meta (key, value) SELECT 'dataDate', max(updated) FROM registrant;");
}

std::optional<RegistryRecord> lookup(SqliteStatement& s, std::int64_t key) {
    s.reset();
    s.bind(1, key);
    if (!s.step()) {
        s.reset();
        return std::nullopt;
    }
    RegistryRecord r;
    r.number = numberText(s.integer(0));
    r.process = static_cast<RegistryRecord::Process>(s.integer(1));
    r.kind = s.integer(2) == 1 ? RegistryRecord::Kind::soleProprietor : RegistryRecord::Kind::corporation;
    r.country = static_cast<int>(s.integer(3));
    r.latest = s.integer(4) != 0;
    r.registrationDate = dateFromKey(s, 5);
    r.updateDate = dateFromKey(s, 6);
    r.cancellationDate = dateFromKey(s, 7);
    r.expiryDate = dateFromKey(s, 8);
    r.name = s.text(9);
    r.tradeName = s.text(10);
    r.popularName = s.text(11);
    s.reset();
    return r;
}

std::string numberText(std::int64_t key) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "T%013lld", static_cast<long long>(key));
    return buffer;
}

Writer::Writer(SqliteDatabase& db)
    : upsert_(db.prepare(upsertSql())),
      fillGap_(db.prepare(std::string("INSERT OR IGNORE INTO registrant ") + columns)),
      log_(db.prepare("INSERT INTO import_log (file, imported_at, rows, skipped) VALUES (?1, ?2, ?3, ?4)")) {}

void Writer::apply(const RegistryRecord& r) {
    const bool deleted = r.process == RegistryRecord::Process::deleted;
    SqliteStatement& s = r.latest || deleted ? upsert_ : fillGap_;
    s.bind(1, std::stoll(r.number.substr(1)));
    s.bind(2, std::int64_t{static_cast<int>(r.process)});
    if (deleted) {
        // Only the marker and its date: whatever else the row carries is of a number that is gone.
        s.bind(5, std::int64_t{1});
        s.bind(7, dateKey(r.updateDate));
    } else {
        s.bind(3, std::int64_t{static_cast<int>(r.kind)});
        s.bind(4, std::int64_t{r.country});
        s.bind(5, std::int64_t{r.latest ? 1 : 0});
        s.bind(6, dateKey(r.registrationDate));
        s.bind(7, dateKey(r.updateDate));
        s.bind(8, dateKey(r.cancellationDate));
        s.bind(9, dateKey(r.expiryDate));
        s.bind(10, std::string_view(r.name));
        s.bindNullIfEmpty(11, r.tradeName);
        s.bindNullIfEmpty(12, r.popularName);
    }
    s.step();
    s.reset();
}

void Writer::logImport(const RegistryImportEntry& e) {
    log_.bind(1, std::string_view(e.file));
    log_.bind(2, std::string_view(e.importedAt));
    log_.bind(3, static_cast<std::int64_t>(e.rows));
    log_.bind(4, static_cast<std::int64_t>(e.skipped));
    log_.step();
    log_.reset();
}

}  // namespace tavori::RegistryStore
