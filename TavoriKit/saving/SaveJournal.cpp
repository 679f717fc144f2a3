#include "TavoriKit/saving/SaveJournal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <set>

#include <nlohmann/json.hpp>

#include "TavoriCore/IndexBookReader.h"
#include "TavoriCore/Unicode.h"
#include "TavoriKit/saving/RenameService.h"

namespace fs = std::filesystem;

namespace tavori::SaveJournal {
namespace {

constexpr std::string_view kJournalPrefix = ".tavori-save-";
constexpr std::string_view kJournalSuffix = ".journal";
constexpr std::string_view kTemporaryPrefix = ".tavori-";
constexpr std::string_view kTemporarySuffix = ".tmp";

fs::path usable(const fs::path& folder) {
    return folder.empty() ? fs::path(".") : folder;
}

std::string journalName() {
    thread_local std::mt19937_64 random{std::random_device{}()};
    char name[48];
    std::snprintf(name, sizeof name, ".tavori-save-%016llx.journal",
                  static_cast<unsigned long long>(random()));
    return name;
}

bool hasForm(std::string_view name, std::string_view prefix, std::string_view suffix) {
    return name.size() > prefix.size() + suffix.size() && name.starts_with(prefix) && name.ends_with(suffix);
}

std::vector<fs::path> namesOfForm(const fs::path& folder, std::string_view prefix, std::string_view suffix) {
    std::vector<fs::path> found;
    std::error_code ec;
    for (fs::directory_iterator it(usable(folder), ec), end; !ec && it != end; it.increment(ec))
        if (hasForm(it->path().filename().native(), prefix, suffix)) found.push_back(it->path());
    return found;
}

// Opened and locked, or -1 when a running save holds it (or it is not a plain file of ours).
FileDescriptor lockedUnlessHeld(const fs::path& path, int flags) {
    FileDescriptor fd(::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) return fd;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
        return FileDescriptor();
    return fd;
}

// Whether the planned file is where the save would have put it, and only there.
bool placed(const Intent& intent) {
    if (intent.destination == intent.source) return false;  // kept its name: nothing moved
    struct stat info {};
    if (::lstat(intent.destination.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    if (static_cast<std::uint64_t>(info.st_size) != intent.size) return false;
    if (intent.copy) return true;
    return ::lstat(intent.source.c_str(), &info) != 0 && errno == ENOENT;
}

// File names of the book's rows numbered from `firstSequence` on.
std::set<std::string> recordedNames(const fs::path& book, std::int64_t firstSequence) {
    std::set<std::string> names;
    FileDescriptor fd(::open(book.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT) return names;
        throw IndexBookReadError(IndexBookReadError::Case::unreadable, book.native());
    }
    std::string bytes;
    if (FileIO::readAll(fd.get(), bytes) != 0)
        throw IndexBookReadError(IndexBookReadError::Case::unreadable, book.native());
    for (const IndexBookEntry& row : IndexBookReader::parse(bytes))
        if (row.sequence >= firstSequence) names.insert(row.fileName);
    return names;
}

// Adds the rows the journal's save did not write; true when the journal can go.
bool complete(const nlohmann::json& journal, const FileSystemCalls& calls, std::vector<std::string>& added) {
    const fs::path book = journal.at("book").get<std::string>();
    const auto firstSequence = journal.at("firstSequence").get<std::int64_t>();
    std::set<std::string> recorded;
    try {
        recorded = recordedNames(book, firstSequence);
    } catch (const IndexBookReadError&) {
        return false;
    }
    RenameService::IndexBookAppender appender(book, calls);
    for (const nlohmann::json& item : journal.at("files")) {
        Intent intent;
        intent.source = item.at("source").get<std::string>();
        intent.destination = item.at("destination").get<std::string>();
        intent.size = item.at("size").get<std::uint64_t>();
        intent.copy = item.at("copy").get<bool>();
        intent.row = item.at("row").get<IndexBookEntry>();
        if (!placed(intent) || recorded.contains(intent.row.fileName)) continue;
        try {
            appender.append(intent.row);
        } catch (const RenameServiceError&) {
            return false;
        }
        recorded.insert(intent.row.fileName);
        added.push_back(intent.row.fileName);
    }
    return true;
}

}  // namespace

Record Record::begin(const fs::path& folder, const fs::path& book, std::int64_t firstSequence,
                     std::span<const Intent> intents, const FileSystemCalls& calls) {
    nlohmann::json files = nlohmann::json::array();
    for (const Intent& intent : intents) {
        std::error_code ec;
        files.push_back({{"source", fs::absolute(intent.source, ec).native()},
                         {"destination", fs::absolute(intent.destination, ec).native()},
                         {"size", intent.size},
                         {"copy", intent.copy},
                         {"row", intent.row}});
    }
    std::error_code ec;
    const nlohmann::json journal = {
        {"book", fs::absolute(book, ec).native()}, {"firstSequence", firstSequence}, {"files", files}};
    // Paths that are not UTF-8 are written with replacement characters: such a file is not found again, and
    // is then simply not completed.
    const std::string text = journal.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);

    Record record;
    fs::create_directories(usable(folder), ec);
    for (int attempt = 0; attempt < 100 && record.fd_.get() < 0; ++attempt) {
        record.path_ = usable(folder) / journalName();
        record.fd_ = FileDescriptor(
            calls.open(record.path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (record.fd_.get() < 0 && errno != EEXIST) break;
    }
    if (record.fd_.get() < 0) return {};
    ::flock(record.fd_.get(), LOCK_EX);
    if (FileIO::writeAll(calls, record.fd_.get(), text) != 0 || calls.fsync(record.fd_.get()) != 0) {
        calls.unlink(record.path_.c_str());
        return {};
    }
    FileIO::syncFolder(usable(folder));
    return record;
}

void Record::finish() {
    if (fd_.get() < 0) return;
    ::unlink(path_.c_str());
    FileIO::syncFolder(usable(path_.parent_path()));
    fd_.close();
}

std::vector<std::string> recover(const fs::path& folder, const FileSystemCalls& calls) {
    std::vector<std::string> added;
    for (const fs::path& path : namesOfForm(folder, kJournalPrefix, kJournalSuffix)) {
        FileDescriptor fd = lockedUnlessHeld(path, O_RDONLY);
        if (fd.get() < 0) continue;
        std::string text;
        if (FileIO::readAll(fd.get(), text) != 0) continue;
        bool done = true;
        try {
            done = complete(nlohmann::json::parse(text), calls, added);
        } catch (const nlohmann::json::exception&) {
            // Cut short while it was written: nothing had moved yet.
        }
        if (done) ::unlink(path.c_str());
    }
    return added;
}

void removeLeftovers(const fs::path& folder) {
    bool removed = false;
    for (const fs::path& path : namesOfForm(folder, kTemporaryPrefix, kTemporarySuffix)) {
        // A save writing or about to place it holds its lock.
        const FileDescriptor fd = lockedUnlessHeld(path, O_RDONLY);
        if (fd.get() < 0) continue;
        struct stat held {
        }, now{};
        if (::fstat(fd.get(), &held) == 0 && ::lstat(path.c_str(), &now) == 0 && held.st_ino == now.st_ino &&
            held.st_dev == now.st_dev)
            removed = ::unlink(path.c_str()) == 0 || removed;
    }
    if (removed) FileIO::syncFolder(usable(folder));
}

}  // namespace tavori::SaveJournal
