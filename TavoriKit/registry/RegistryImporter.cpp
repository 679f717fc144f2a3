#include "TavoriKit/registry/RegistryImporter.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <ctime>
#include <fstream>

#include "TavoriKit/registry/RegistryStore.h"
#include "TavoriKit/registry/SqliteDatabase.h"

namespace fs = std::filesystem;

namespace tavori::RegistryImporter {
namespace {

using Case = RegistryError::Case;
constexpr std::size_t chunkSize = 1 << 20;

bool isZip(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::array<char, 4> magic{};
    in.read(magic.data(), magic.size());
    return in && magic[0] == 'P' && magic[1] == 'K' && (magic[2] == 3 || magic[2] == 5);
}

bool endsWithCsv(std::string_view name) {
    if (name.size() < 4) return false;
    std::string tail(name.substr(name.size() - 4));
    std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return std::tolower(c); });
    return tail == ".csv";
}

struct ZipClose {
    void operator()(zip_t* z) const { zip_discard(z); }
};
struct ZipFileClose {
    void operator()(zip_file_t* f) const { zip_fclose(f); }
};

// The CSV text of one file to import: the file itself, or each CSV member of a zip in name order.
class CsvSource {
  public:
    struct Member {
        fs::path shownAs;  // for messages: the file, or the zip's path followed by the member name
        std::uint64_t index = 0;
        std::uint64_t size = 0;
    };

    explicit CsvSource(fs::path path) : path_(std::move(path)) {
        std::error_code ec;
        if (!fs::is_regular_file(path_, ec)) throw RegistryError(Case::unreadableFile, path_);
        if (!isZip(path_)) {
            const auto size = fs::file_size(path_, ec);
            if (ec) throw RegistryError(Case::unreadableFile, path_);
            members_.push_back({path_, 0, size});
            return;
        }
        int error = 0;
        zip_.reset(zip_open(path_.c_str(), ZIP_RDONLY, &error));
        if (!zip_) throw RegistryError(Case::unreadableFile, path_, "zip");
        const zip_int64_t count = zip_get_num_entries(zip_.get(), 0);
        for (zip_int64_t i = 0; i < count; ++i) {
            zip_stat_t st;
            if (zip_stat_index(zip_.get(), static_cast<zip_uint64_t>(i), 0, &st) != 0 || st.name == nullptr)
                continue;
            if (endsWithCsv(st.name))
                members_.push_back({path_ / st.name, static_cast<std::uint64_t>(i),
                                    (st.valid & ZIP_STAT_SIZE) != 0 ? st.size : 0});
        }
        if (members_.empty())
            throw RegistryError(Case::notRegistryFile, path_, "zipの中にCSVファイルがありません");
        std::sort(members_.begin(), members_.end(),
                  [](const Member& a, const Member& b) { return a.shownAs < b.shownAs; });
    }

    const std::vector<Member>& members() const { return members_; }

    // Hands the member's text to `sink` chunk by chunk; false from `sink` stops the reading.
    template <class Sink>
    void read(const Member& member, Sink&& sink) {
        std::vector<char> buffer(chunkSize);
        if (!zip_) {
            std::ifstream in(path_, std::ios::binary);
            while (in) {
                in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
                const auto n = static_cast<std::size_t>(in.gcount());
                if (n > 0 && !sink(std::string_view(buffer.data(), n))) return;
            }
            if (in.bad()) throw RegistryError(Case::unreadableFile, path_);
            return;
        }
        std::unique_ptr<zip_file_t, ZipFileClose> file(zip_fopen_index(zip_.get(), member.index, 0));
        if (!file) throw RegistryError(Case::unreadableFile, member.shownAs, zip_strerror(zip_.get()));
        for (;;) {
            const zip_int64_t n = zip_fread(file.get(), buffer.data(), buffer.size());
            // A damaged member (a checksum that does not match included) reports itself here.
            if (n < 0)
                throw RegistryError(Case::unreadableFile, member.shownAs, zip_file_strerror(file.get()));
            if (n == 0) return;
            if (!sink(std::string_view(buffer.data(), static_cast<std::size_t>(n)))) return;
        }
    }

  private:
    fs::path path_;
    std::unique_ptr<zip_t, ZipClose> zip_;
    std::vector<Member> members_;
};

bool isUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size()) return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += n;
    }
    return true;
}

std::string utcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::gmtime_r(&now, &tm);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buffer;
}

// Holds the import lock for as long as it lives; a second import fails at once instead of waiting.
class ImportLock {
  public:
    explicit ImportLock(const fs::path& location) {
        const fs::path path = fs::path(location).concat(".lock");
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ < 0) throw RegistryError(Case::notWritten, location, std::strerror(errno));
        if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd_);
            throw RegistryError(Case::busy, location);
        }
    }
    ~ImportLock() { ::close(fd_); }
    ImportLock(const ImportLock&) = delete;
    ImportLock& operator=(const ImportLock&) = delete;

  private:
    int fd_ = -1;
};

bool syncPath(const fs::path& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// Reads every file into the open database; the caller owns the transaction.
Result applyFiles(std::span<const fs::path> files, SqliteDatabase& db, const Options& options) {
    std::vector<CsvSource> sources;
    Progress progress;
    for (const auto& f : files) {
        sources.emplace_back(f);
        for (const auto& m : sources.back().members()) progress.bytesTotal += m.size;
    }

    Result result;
    RegistryStore::Writer writer(db);
    for (std::size_t i = 0; i < sources.size(); ++i) {
        std::uint64_t fileRows = 0, fileSkipped = 0;
        for (const auto& member : sources[i].members()) {
            std::uint64_t rows = 0, skipped = 0;
            std::string firstProblem;
            CsvRowReader reader([&](std::span<const std::string> fields, std::uint64_t line) {
                auto parsed = parseRegistryRow(fields);
                if (parsed.record && !isUtf8(parsed.record->name + parsed.record->tradeName))
                    parsed = {std::nullopt, "文字コードがUTF-8ではありません"};
                if (!parsed.record) {
                    if (firstProblem.empty()) firstProblem = std::to_string(line) + "行目: " + parsed.problem;
                    if (result.skipped.size() < listedSkippedRows)
                        result.skipped.push_back({member.shownAs, line, parsed.problem});
                    ++skipped;
                    return;
                }
                writer.apply(*parsed.record);
                ++rows;
            });
            progress.file = member.shownAs;
            sources[i].read(member, [&](std::string_view chunk) {
                reader.feed(chunk);
                progress.bytesDone += chunk.size();
                progress.rows = result.rows + rows;
                if (options.progress) options.progress(progress);
                return !options.cancel.isCancelled();
            });
            if (options.cancel.isCancelled()) throw RegistryError(Case::cancelled, files[i]);
            reader.finish();
            // Not one good row among bad ones: another kind of file (another register, another encoding).
            if (rows == 0 && skipped > 0)
                throw RegistryError(Case::notRegistryFile, member.shownAs, firstProblem);
            result.rows += rows;
            result.skippedCount += skipped;
            fileRows += rows;
            fileSkipped += skipped;
        }
        writer.logImport({files[i].filename().string(), utcNow(), fileRows, fileSkipped});
    }
    return result;
}

}  // namespace

Result importFiles(std::span<const fs::path> files, const fs::path& location, const Options& options) {
    std::error_code ec;
    fs::create_directories(location.parent_path(), ec);
    if (ec) throw RegistryError(Case::notWritten, location, ec.message());
    ImportLock lock(location);

    // Left by an import that was killed; nobody else writes it while the lock is held.
    const fs::path partial = fs::path(location).concat(".partial");
    fs::remove(partial, ec);
    struct RemovePartial {
        const fs::path& path;
        bool keep = false;
        ~RemovePartial() {
            std::error_code ignored;
            if (!keep) fs::remove(path, ignored);
        }
    } cleanup{partial};

    const bool building = options.replace || !fs::exists(location, ec);
    if (!building) {
        fs::copy_file(location, partial, fs::copy_options::overwrite_existing, ec);
        if (ec) throw RegistryError(Case::notWritten, location, ec.message());
    }

    Result result;
    try {
        SqliteDatabase db(partial, SqliteDatabase::Mode::readWriteCreate);
        // The file is private until the rename: no journal and no syncing while it is written; it is
        // synced once, whole, before it replaces the register.
        db.execute(
            "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; PRAGMA locking_mode = EXCLUSIVE; "
            "PRAGMA temp_store = MEMORY; PRAGMA cache_size = -262144");
        if (building)
            RegistryStore::createSchema(db);
        else if (RegistryStore::formatVersion(db) != InvoiceRegistry::formatVersion)
            throw RegistryError(Case::damaged, location);
        db.execute("BEGIN");
        result = applyFiles(files, db, options);
        if (options.progress) {
            Progress done;
            done.rows = result.rows;
            done.finishing = true;
            options.progress(done);
        }
        RegistryStore::refreshSummary(db);
        db.execute("COMMIT");
        result.summary = RegistryStore::summary(db);
        db.close();
    } catch (const SqliteError& e) {
        throw RegistryError(Case::notWritten, location, e.what());
    }

    if (!syncPath(partial, O_RDONLY)) throw RegistryError(Case::notWritten, location, std::strerror(errno));
    if (::rename(partial.c_str(), location.c_str()) != 0)
        throw RegistryError(Case::notWritten, location, std::strerror(errno));
    cleanup.keep = true;
    syncPath(location.parent_path(), O_RDONLY | O_DIRECTORY);
    return result;
}

}  // namespace tavori::RegistryImporter
