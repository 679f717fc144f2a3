#include "TavoriKit/indexbook/DuplicateDetector.h"

#include <openssl/evp.h>
#include <sys/stat.h>

#include <array>
#include <fstream>
#include <set>

#include "TavoriKit/indexbook/IndexBookLibrary.h"

namespace fs = std::filesystem;

namespace tavori {
namespace {

struct DigestContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

std::optional<std::string> sha256Of(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::unique_ptr<EVP_MD_CTX, DigestContextFree> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) return std::nullopt;
    std::array<char, 1 << 16> buffer;
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got > 0 && EVP_DigestUpdate(context.get(), buffer.data(), got) != 1) return std::nullopt;
    }
    if (in.bad()) return std::nullopt;
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(digest.data()), length);
}

bool sameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec) && !ec;
}

std::optional<std::uintmax_t> sizeOf(const fs::path& file) {
    std::error_code ec;
    const auto size = fs::file_size(file, ec);
    if (ec) return std::nullopt;
    return size;
}

}  // namespace

std::optional<std::string> FileDigests::digest(const fs::path& file) {
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
    const auto size = static_cast<std::uintmax_t>(status.st_size);
    const Stamp modified{status.st_mtim.tv_sec, status.st_mtim.tv_nsec};
    {
        std::lock_guard lock(mutex_);
        const auto it = entries_.find(file.native());
        if (it != entries_.end() && it->second.size == size && it->second.modified == modified)
            return it->second.digest;
    }
    auto computed = sha256Of(file);
    if (!computed) return std::nullopt;
    std::lock_guard lock(mutex_);
    ++filesRead_;
    entries_[file.native()] = Entry{size, modified, *computed};
    return computed;
}

std::size_t FileDigests::filesRead() const {
    std::lock_guard lock(mutex_);
    return filesRead_;
}

DuplicateDetector::DuplicateDetector(VendorAliasDictionary aliases, std::shared_ptr<FileDigests> digests)
    : aliases_(std::move(aliases)), digests_(std::move(digests)), bookIndex_(aliases_) {}

void DuplicateDetector::setBook(const fs::path& book, std::span<const IndexBookEntry> rows) {
    book_ = book;
    bookIndex_ = DuplicateIndex(aliases_);
    std::vector<DuplicateRecord> records;
    records.reserve(rows.size());
    for (const IndexBookEntry& row : rows)
        records.push_back({row.date, row.amount, row.vendor, row.fileName});
    bookIndex_.addAll(std::move(records));
    savedFiles_.clear();
    savedFilesListed_.reset();
}

const std::multimap<std::uintmax_t, fs::path>& DuplicateDetector::savedFiles() {
    if (book_.empty()) return savedFiles_;
    const fs::path folder = book_.has_parent_path() ? book_.parent_path() : fs::path(".");
    std::error_code ec;
    const auto modified = fs::last_write_time(folder, ec);
    if (ec) {
        savedFiles_.clear();
        savedFilesListed_.reset();
        return savedFiles_;
    }
    // Adding, removing or renaming a file changes the folder's modification time.
    if (savedFilesListed_ == modified) return savedFiles_;
    savedFiles_.clear();
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& path = it->path();
        const std::string name = path.filename().native();
        if (name.empty() || name.front() == '.' || path.filename() == book_.filename()) continue;
        std::error_code entryError;
        if (!it->is_regular_file(entryError) || entryError) continue;
        const auto size = it->file_size(entryError);
        if (!entryError) savedFiles_.emplace(size, path);
    }
    savedFilesListed_ = modified;
    return savedFiles_;
}

DuplicateRecord DuplicateDetector::savedRecord(const fs::path& file) const {
    // Found by a scan from the end, so that a name booked twice gives the row written when the file last took
    // that name; content matches are rare enough that an index of names would cost more than it saves.
    const std::string name = file.filename().native();
    for (std::size_t id = bookIndex_.size(); id-- > 0;)
        if (bookIndex_.record(id).fileName == name) return bookIndex_.record(id);
    return DuplicateRecord{std::nullopt, std::nullopt, {}, file.filename().native()};
}

void DuplicateDetector::bookMatches(const DuplicateDocument& document, std::vector<PossibleDuplicate>& out) {
    std::set<std::string> named;  // other documents already warned about, by file name
    if (const auto size = sizeOf(document.file)) {
        const auto& saved = savedFiles();
        const auto [first, last] = saved.equal_range(*size);
        std::optional<std::string> own;
        for (auto it = first; it != last; ++it) {
            if (!own) own = digests_->digest(document.file);
            if (!own) break;
            const auto other = digests_->digest(it->second);
            if (!other || *other != *own || sameFile(it->second, document.file)) continue;
            PossibleDuplicate duplicate{PossibleDuplicate::Reason::sameContent,
                                        PossibleDuplicate::Origin::book, savedRecord(it->second)};
            if (named.insert(duplicate.other.fileName).second) out.push_back(std::move(duplicate));
        }
    }
    for (std::size_t id : bookIndex_.sameFields(document.record)) {
        const DuplicateRecord& row = bookIndex_.record(id);
        // The row that booked this very file (a document scanned where it was saved) is not another receipt.
        const fs::path rowDocument = IndexBookLibrary::documentPath(book_, row.fileName);
        if (!rowDocument.empty() && sameFile(rowDocument, document.file)) continue;
        if (!named.insert(row.fileName).second) continue;
        out.push_back(
            PossibleDuplicate{PossibleDuplicate::Reason::sameFields, PossibleDuplicate::Origin::book, row});
    }
}

void DuplicateDetector::listMatches(std::span<const DuplicateDocument> documents,
                                    std::vector<std::vector<PossibleDuplicate>>& out) {
    const std::size_t n = documents.size();
    std::vector<std::vector<std::size_t>> content(n);
    std::multimap<std::uintmax_t, std::size_t> bySize;
    for (std::size_t i = 0; i < n; ++i)
        if (const auto size = sizeOf(documents[i].file)) bySize.emplace(*size, i);
    for (auto group = bySize.begin(); group != bySize.end();) {
        const auto end = bySize.upper_bound(group->first);
        if (std::next(group) != end) {
            std::vector<std::pair<std::size_t, std::string>> digests;
            for (auto it = group; it != end; ++it)
                if (auto digest = digests_->digest(documents[it->second].file))
                    digests.emplace_back(it->second, std::move(*digest));
            for (const auto& [i, di] : digests)
                for (const auto& [j, dj] : digests)
                    if (i != j && di == dj && !sameFile(documents[i].file, documents[j].file))
                        content[i].push_back(j);
        }
        group = end;
    }

    DuplicateIndex listIndex(aliases_);
    for (const auto& document : documents) listIndex.add(document.record);
    for (std::size_t i = 0; i < n; ++i) {
        std::vector<std::size_t> others = content[i];
        std::sort(others.begin(), others.end());
        for (std::size_t j : others)
            out[i].push_back(PossibleDuplicate{PossibleDuplicate::Reason::sameContent,
                                               PossibleDuplicate::Origin::list, documents[j].record});
        for (std::size_t j : listIndex.sameFields(documents[i].record)) {
            if (j == i || std::find(others.begin(), others.end(), j) != others.end()) continue;
            out[i].push_back(PossibleDuplicate{PossibleDuplicate::Reason::sameFields,
                                               PossibleDuplicate::Origin::list, documents[j].record});
        }
    }
}

std::vector<std::vector<PossibleDuplicate>> DuplicateDetector::check(
    std::span<const DuplicateDocument> documents) {
    std::vector<std::vector<PossibleDuplicate>> out(documents.size());
    for (std::size_t i = 0; i < documents.size(); ++i) bookMatches(documents[i], out[i]);
    listMatches(documents, out);
    return out;
}

}  // namespace tavori
