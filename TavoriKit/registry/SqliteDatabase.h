#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace tavori {

// SQLite's own failure, with its English message; callers turn it into the Japanese error of their area.
class SqliteError : public std::runtime_error {
  public:
    SqliteError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
    int code() const { return code_; }

  private:
    int code_;
};

// One prepared statement: bind, step, read columns, reset. Owned by the caller, finalised on destruction.
class SqliteStatement {
  public:
    SqliteStatement(sqlite3* db, std::string_view sql);
    SqliteStatement(SqliteStatement&&) noexcept = default;
    SqliteStatement& operator=(SqliteStatement&&) noexcept = default;

    // Parameters count from 1, as in SQLite. An absent value binds NULL.
    void bind(int index, std::int64_t value);
    void bind(int index, std::optional<std::int64_t> value);
    void bind(int index, std::string_view text);  // the text must outlive the next step()
    void bindNullIfEmpty(int index, std::string_view text);
    // True while a row is available.
    bool step();
    void reset();

    bool isNull(int column) const;
    std::int64_t integer(int column) const;
    std::string text(int column) const;

  private:
    struct Finalize {
        void operator()(sqlite3_stmt* s) const;
    };
    sqlite3* db_;
    std::unique_ptr<sqlite3_stmt, Finalize> statement_;
};

class SqliteDatabase {
  public:
    enum class Mode { readOnly, readWriteCreate };
    SqliteDatabase(const std::filesystem::path& path, Mode mode);

    void execute(std::string_view sql);
    SqliteStatement prepare(std::string_view sql) { return SqliteStatement(db_.get(), sql); }
    // Closes now, reporting a failure that the destructor would have to swallow.
    void close();

  private:
    struct Close {
        void operator()(sqlite3* db) const;
    };
    std::unique_ptr<sqlite3, Close> db_;
};

}  // namespace tavori
