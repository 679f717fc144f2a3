#include <unistd.h>

#include <csignal>
#include <ostream>

#include <nlohmann/json.hpp>

#include "TavoriKit/registry/InvoiceRegistry.h"
#include "TavoriKit/registry/RegistryImporter.h"
#include "cli/Commands.h"

namespace tavori::Commands {
namespace {

constexpr const char* downloadHint =
    "国税庁の「インボイス制度 適格請求書発行事業者公表サイト」のダウンロードページ"
    "（https://www.invoice-kohyo.nta.go.jp/download/）から公表データ（CSV形式）をダウンロードし、"
    "tavori registry import FILE... で取り込んでください";

// 5000000 as "5,000,000".
std::string grouped(std::uint64_t n) {
    std::string digits = std::to_string(n), out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::string dateText(const std::optional<DateComponentsValue>& date) {
    return date ? date->formatted("yyyy-MM-dd") : "";
}

// The token a Ctrl-C cancels while an import runs.
CancellationToken* interruptToken = nullptr;
extern "C" void onInterrupt(int) {
    if (interruptToken != nullptr) interruptToken->cancel();
}

class InterruptScope {
  public:
    explicit InterruptScope(CancellationToken& token) {
        interruptToken = &token;
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGINT, &action, &oldInt_);
        ::sigaction(SIGTERM, &action, &oldTerm_);
    }
    ~InterruptScope() {
        ::sigaction(SIGINT, &oldInt_, nullptr);
        ::sigaction(SIGTERM, &oldTerm_, nullptr);
        interruptToken = nullptr;
    }

  private:
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

// On a terminal one line that keeps changing; elsewhere (a log) a line at every tenth.
class ProgressPrinter {
  public:
    explicit ProgressPrinter(std::ostream& err) : err_(err), terminal_(::isatty(STDERR_FILENO) == 1) {}
    ~ProgressPrinter() {
        if (terminal_ && shown_) err_ << '\n';
    }

    void operator()(const RegistryImporter::Progress& p) {
        if (p.finishing) {
            if (terminal_)
                err_ << "\r仕上げ中 (finishing)… " << grouped(p.rows) << "件" << std::string(12, ' ');
            else
                err_ << "仕上げ中 (finishing)… " << grouped(p.rows) << "件\n";
            err_.flush();
            shown_ = true;
            return;
        }
        const int permille = p.bytesTotal == 0 ? 1000 : static_cast<int>(p.bytesDone * 1000 / p.bytesTotal);
        if (terminal_) {
            if (permille == lastShown_) return;
            err_ << "\r取り込み中 (importing) " << permille / 10 << '.' << permille % 10 << "% "
                 << grouped(p.rows) << "件" << std::flush;
        } else {
            if (permille / 100 == lastShown_ / 100) return;
            err_ << "取り込み中 (importing) " << permille / 10 << "% " << grouped(p.rows) << "件\n"
                 << std::flush;
        }
        lastShown_ = permille;
        shown_ = true;
    }

  private:
    std::ostream& err_;
    bool terminal_;
    bool shown_ = false;
    int lastShown_ = -1;
};

std::string summaryLine(const RegistrySummary& s) {
    std::string text = grouped(s.records) + "件（法人 " + grouped(s.corporations) + "、個人事業者 " +
                       grouped(s.soleProprietors) + "）";
    if (s.dataDate) text += "、" + s.dataDate->formatted("yyyy年M月d日") + "までの公表データ";
    return text;
}

}  // namespace

int registryImport(const RegistryImportOptions& options, std::ostream& out, std::ostream& err) {
    RegistryImporter::Options importOptions;
    importOptions.replace = options.replace;
    ProgressPrinter printer(err);
    importOptions.progress = [&](const RegistryImporter::Progress& p) { printer(p); };
    InterruptScope interrupts(importOptions.cancel);
    try {
        const auto result =
            RegistryImporter::importFiles(options.files, InvoiceRegistry::standardLocation(), importOptions);
        for (const auto& s : result.skipped)
            err << s.file.string() << ':' << s.line << ": 読み飛ばしました (skipped): " << s.problem << '\n';
        if (result.skippedCount > result.skipped.size())
            err << "ほか " << grouped(result.skippedCount - result.skipped.size())
                << "行を読み飛ばしました (more rows skipped)\n";
        out << "取り込みました (imported): " << grouped(result.rows) << "行";
        if (result.skippedCount > 0) out << "（読み飛ばし " << grouped(result.skippedCount) << "行）";
        out << "。登録番号データ: " << summaryLine(result.summary) << '\n';
        return 0;
    } catch (const RegistryError& e) {
        err << e.what() << '\n';
        return e.errorCase() == RegistryError::Case::cancelled ? 130 : 1;
    }
}

int registryLookup(const RegistryLookupOptions& options, std::ostream& out, std::ostream& err) {
    std::optional<DateComponentsValue> date;
    if (options.date) {
        date = parseIsoDate(*options.date);
        if (!date) {
            err << "日付は 2024-03-15 の形で指定してください: " << *options.date << '\n';
            return 1;
        }
    }
    if (!registrationKey(options.number)) {
        err << "登録番号はTと13桁の数字で指定してください: " << options.number << '\n';
        return 1;
    }
    try {
        const auto registry = InvoiceRegistry::open(InvoiceRegistry::standardLocation());
        if (!registry) {
            err << "登録番号データがまだありません。" << downloadHint << '\n';
            return 1;
        }
        const RegistrationStatus status = registry->check(options.number, date);
        if (options.json) {
            out << nlohmann::ordered_json(status).dump() << '\n';
        } else {
            out << status.number << '\t' << rawValue(status.state) << '\t' << status.message() << '\n';
            if (const auto record = registry->lookup(options.number);
                record && record->process != RegistryRecord::Process::deleted) {
                out << "氏名又は名称 (name)\t" << record->name << '\n';
                if (!record->tradeName.empty())
                    out << "主たる屋号 (trade name)\t" << record->tradeName << '\n';
                if (!record->popularName.empty())
                    out << "通称・旧姓 (other name)\t" << record->popularName << '\n';
                out << "人格区分 (kind)\t" << displayName(record->kind) << '\n';
                out << "登録年月日 (registered)\t" << dateText(record->registrationDate) << '\n';
                if (record->cancellationDate)
                    out << "取消年月日 (cancelled)\t" << dateText(record->cancellationDate) << '\n';
                if (record->expiryDate)
                    out << "失効年月日 (expired)\t" << dateText(record->expiryDate) << '\n';
                out << "更新年月日 (updated)\t" << dateText(record->updateDate) << '\n';
            }
        }
        return status.isReliable() ? 0 : 2;
    } catch (const RegistryError& e) {
        err << e.what() << '\n';
        return 1;
    }
}

int registryStatus(std::ostream& out, std::ostream& err) {
    const auto location = InvoiceRegistry::standardLocation();
    try {
        const auto registry = InvoiceRegistry::open(location);
        if (!registry) {
            out << "登録番号データはまだ取り込まれていません (no registry imported)。" << downloadHint
                << '\n';
            return 0;
        }
        const auto& s = registry->summary();
        out << "登録番号データ (registry)\t" << location.string() << '\n';
        out << "公表データの日付 (data as of)\t" << dateText(s.dataDate) << '\n';
        out << "件数 (records)\t" << grouped(s.records) << '\n';
        out << "法人 (corporations)\t" << grouped(s.corporations) << '\n';
        out << "個人事業者 (sole proprietors)\t" << grouped(s.soleProprietors) << '\n';
        out << "取り込んだファイル (imported files)\n";
        for (const auto& i : s.imports) {
            out << "  " << i.importedAt << '\t' << i.file << '\t' << grouped(i.rows) << "行";
            if (i.skipped > 0) out << "（読み飛ばし " << grouped(i.skipped) << "行）";
            out << '\n';
        }
        return 0;
    } catch (const RegistryError& e) {
        err << e.what() << '\n';
        return 1;
    }
}

}  // namespace tavori::Commands
