#include "TavoriKit/registry/SqliteDatabase.h"

#include <sqlite3.h>

namespace tavori {
namespace {

[[noreturn]] void fail(sqlite3* db, int code) {
    throw SqliteError(code, db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code));
}

}  // namespace

void SqliteStatement::Finalize::operator()(sqlite3_stmt* s) const {
    sqlite3_finalize(s);
}

SqliteStatement::SqliteStatement(sqlite3* db, std::string_view sql) : db_(db) {
    sqlite3_stmt* s = nullptr;
    const int rc = sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                                      &s, nullptr);
    statement_.reset(s);
    if (rc != SQLITE_OK) fail(db, rc);
}

void SqliteStatement::bind(int index, std::int64_t value) {
    const int rc = sqlite3_bind_int64(statement_.get(), index, value);
    if (rc != SQLITE_OK) fail(db_, rc);
}

void SqliteStatement::bind(int index, std::optional<std::int64_t> value) {
    const int rc = value ? sqlite3_bind_int64(statement_.get(), index, *value)
                         : sqlite3_bind_null(statement_.get(), index);
    if (rc != SQLITE_OK) fail(db_, rc);
}

void SqliteStatement::bind(int index, std::string_view text) {
    const int rc =
        sqlite3_bind_text(statement_.get(), index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
    if (rc != SQLITE_OK) fail(db_, rc);
}

void SqliteStatement::bindNullIfEmpty(int index, std::string_view text) {
    if (!text.empty()) return bind(index, text);
    const int rc = sqlite3_bind_null(statement_.get(), index);
    if (rc != SQLITE_OK) fail(db_, rc);
}

bool SqliteStatement::step() {
    const int rc = sqlite3_step(statement_.get());
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    fail(db_, rc);
}

void SqliteStatement::reset() {
    sqlite3_reset(statement_.get());
    sqlite3_clear_bindings(statement_.get());
}

bool SqliteStatement::isNull(int column) const {
    return sqlite3_column_type(statement_.get(), column) == SQLITE_NULL;
}

std::int64_t SqliteStatement::integer(int column) const {
    return sqlite3_column_int64(statement_.get(), column);
}

std::string SqliteStatement::text(int column) const {
    const auto* p = sqlite3_column_text(statement_.get(), column);
    if (p == nullptr) return {};
    return std::string(reinterpret_cast<const char*>(p),
                       static_cast<std::size_t>(sqlite3_column_bytes(statement_.get(), column)));
}

void SqliteDatabase::Close::operator()(sqlite3* db) const {
    sqlite3_close_v2(db);
}

SqliteDatabase::SqliteDatabase(const std::filesystem::path& path, Mode mode) {
    const int flags =
        (mode == Mode::readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) |
        SQLITE_OPEN_FULLMUTEX;
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    db_.reset(db);
    if (rc != SQLITE_OK) fail(db, rc);
    sqlite3_extended_result_codes(db, 1);
}

void SqliteDatabase::execute(std::string_view sql) {
    const std::string text(sql);
    char* message = nullptr;
    const int rc = sqlite3_exec(db_.get(), text.c_str(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        const std::string what = message != nullptr ? message : sqlite3_errstr(rc);
        sqlite3_free(message);
        throw SqliteError(rc, what);
    }
}

void SqliteDatabase::close() {
    sqlite3* db = db_.release();
    if (db == nullptr) return;
    const int rc = sqlite3_close(db);
    if (rc != SQLITE_OK) {
        const std::string what = sqlite3_errmsg(db);
        sqlite3_close_v2(db);
        throw SqliteError(rc, what);
    }
}

}  // namespace tavori
