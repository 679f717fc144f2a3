#include "TavoriKit/registry/InvoiceRegistry.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "TavoriCore/TextNormalizer.h"
#include "TavoriKit/registry/RegistryStore.h"
#include "TavoriKit/registry/SqliteDatabase.h"

namespace fs = std::filesystem;

namespace tavori {
namespace {

std::string describe(RegistryError::Case c, const fs::path& path, const std::string& detail) {
    using C = RegistryError::Case;
    const std::string name = path.filename().string();
    std::string text;
    switch (c) {
        case C::unreadableFile:
            text = "「" + name + "」を読み込めません";
            break;
        case C::notRegistryFile:
            text = "「" + name + "」は適格請求書発行事業者の公表データ（CSV形式）ではありません";
            break;
        case C::busy:
            text = "別の取り込みが実行中です。終わってからもう一度お試しください";
            break;
        case C::cancelled:
            return "取り込みを中止しました。登録番号データは取り込み前のままです";
        case C::notWritten:
            text = "登録番号データを保存できません（" + path.parent_path().string() +
                   "）。以前のデータはそのままです";
            break;
        case C::damaged:
            text =
                "登録番号データ（" + path.string() + "）を読めません。公表データをもう一度取り込んでください";
            break;
    }
    if (!detail.empty()) text += "（" + detail + "）";
    return text;
}

}  // namespace

RegistryError::RegistryError(Case c, fs::path path, std::string detail)
    : case_(c), path_(std::move(path)), message_(describe(c, path_, detail)) {}

fs::path InvoiceRegistry::locationFor(const char* xdgDataHome, const char* home) {
    fs::path base;
    if (xdgDataHome != nullptr && fs::path(xdgDataHome).is_absolute())
        base = xdgDataHome;
    else
        base = fs::path(home != nullptr ? home : "") / ".local" / "share";
    return base / "tavori-name" / "registry.sqlite";
}

fs::path InvoiceRegistry::standardLocation() {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        const passwd* entry = ::getpwuid(::getuid());
        home = entry != nullptr ? entry->pw_dir : nullptr;
    }
    return locationFor(std::getenv("XDG_DATA_HOME"), home);
}

std::optional<std::int64_t> registrationKey(std::string_view number) {
    const std::string text = TextNormalizer::normalize(number);
    std::int64_t key = 0;
    int digits = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            if (++digits > 13) return std::nullopt;
            key = key * 10 + (c - '0');
        } else if ((c == 'T' || c == 't') && digits == 0) {
            continue;
        } else if (c != ' ' && c != '-') {
            return std::nullopt;
        }
    }
    if (digits != 13) return std::nullopt;
    return key;
}

InvoiceRegistry::InvoiceRegistry(fs::path location) : location_(std::move(location)) {}
InvoiceRegistry::~InvoiceRegistry() {
    lookup_.reset();
}

std::unique_ptr<InvoiceRegistry> InvoiceRegistry::open(const fs::path& location) {
    std::error_code ec;
    if (!fs::is_regular_file(location, ec)) return nullptr;
    std::unique_ptr<InvoiceRegistry> registry(new InvoiceRegistry(location));
    try {
        registry->db_ = std::make_unique<SqliteDatabase>(location, SqliteDatabase::Mode::readOnly);
        // The file is never written once in place (an import renames a new one over it), so the shared lock
        // is taken once instead of around every lookup, and pages are read through a memory map.
        registry->db_->execute("PRAGMA locking_mode = EXCLUSIVE; PRAGMA mmap_size = 2147483648");
        if (RegistryStore::formatVersion(*registry->db_) != formatVersion)
            throw RegistryError(RegistryError::Case::damaged, location);
        registry->summary_ = RegistryStore::summary(*registry->db_);
        registry->lookup_ =
            std::make_unique<SqliteStatement>(registry->db_->prepare(RegistryStore::lookupSql));
    } catch (const SqliteError& e) {
        throw RegistryError(RegistryError::Case::damaged, location, e.what());
    }
    return registry;
}

std::optional<RegistryRecord> InvoiceRegistry::lookup(std::string_view number) const {
    const auto key = registrationKey(number);
    if (!key) return std::nullopt;
    std::lock_guard lock(mutex_);
    try {
        return RegistryStore::lookup(*lookup_, *key);
    } catch (const SqliteError& e) {
        throw RegistryError(RegistryError::Case::damaged, location_, e.what());
    }
}

RegistrationStatus InvoiceRegistry::check(std::string_view number,
                                          std::optional<DateComponentsValue> date) const {
    const auto key = registrationKey(number);
    const std::string shown = key ? RegistryStore::numberText(*key) : std::string(number);
    return RegistrationStatus::evaluate(shown, lookup(number), date, summary_.dataDate);
}

std::optional<RegistrationStatus> InvoiceRegistry::check(const ReceiptFields& fields) const {
    if (!fields.registrationNumber) return std::nullopt;
    return check(*fields.registrationNumber, fields.date);
}

std::unique_ptr<InvoiceRegistry> InvoiceRegistry::openForAnalysis(std::string* problem) {
    try {
        return open(standardLocation());
    } catch (const RegistryError& e) {
        if (problem != nullptr) *problem = e.what();
        return nullptr;
    }
}

}  // namespace tavori
