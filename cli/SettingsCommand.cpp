#include <algorithm>
#include <ostream>

#include "TavoriKit/saving/RenameService.h"
#include "cli/CommandSupport.h"
#include "cli/Commands.h"

namespace fs = std::filesystem;

namespace tavori::Commands {
namespace {

void show(const AppSettings& s, std::ostream& out) {
    out << "受取人 (recipient)\t" << s.recipientName << '\n';
    out << "テンプレート (template)\t" << s.nameTemplate.templateText << '\n';
    out << "日付形式 (date format)\t" << s.nameTemplate.dateFormat << '\n';
    out << "金額形式 (amount style)\t" << rawValue(s.nameTemplate.amountStyle) << '\n';
    out << "取引先の最大文字数 (vendor length)\t" << s.nameTemplate.maxVendorLength << '\n';
    out << "保存方法 (mode)\t" << label(s.mode) << " (" << rawValue(s.mode) << ")\n";
    out << "保存先 (destination)\t";
    if (s.destination) out << s.destination->native();
    out << '\n';
    out << "索引簿 (index book)\t" << (s.writeIndexBook ? "on" : "off") << '\t' << s.indexBookFileName
        << '\n';
    for (const auto& rule : s.aliases.rules)
        out << "別名 (alias)\t" << rule.pattern << '\t' << rule.canonical << '\n';
    out << "法人格を除く (strip corporate forms)\t" << (s.aliases.stripCorporateSuffix ? "on" : "off")
        << '\n';
    out << "設定ファイル (settings file)\t" << SettingsStore::standardLocation().native() << '\n';
}

}  // namespace

int settings(const SettingsOptions& options, std::ostream& out, std::ostream& err) {
    AppSettings s = CommandSupport::loadSettings();
    const AppSettings before = s;
    if (options.recipient) s.recipientName = *options.recipient;
    if (options.templateText) s.nameTemplate.templateText = *options.templateText;
    if (options.dateFormat) s.nameTemplate.dateFormat = *options.dateFormat;
    if (!CommandSupport::applyMode(options.mode, s, err)) return 2;
    if (options.destination) {
        std::error_code ec;
        const fs::path folder = fs::absolute(*options.destination, ec);
        if (ec || !fs::is_directory(folder, ec)) {
            err << "フォルダが見つかりません (no such folder): " << options.destination->native() << '\n';
            return 1;
        }
        s.setDestination(folder.lexically_normal());
    }
    if (options.indexBook) s.writeIndexBook = *options.indexBook;
    if (options.indexBookFileName) {
        if (!RenameService::isPlainFileName(*options.indexBookFileName)) {
            err << RenameServiceError(RenameServiceError::Case::invalidIndexBookName,
                                      *options.indexBookFileName)
                       .what()
                << '\n';
            return 2;
        }
        s.indexBookFileName = *options.indexBookFileName;
    }
    for (const auto& pattern : options.removeAliases)
        std::erase_if(s.aliases.rules, [&](const auto& rule) { return rule.pattern == pattern; });
    for (const auto& alias : options.addAliases) {
        const auto equals = alias.find('=');
        if (equals == std::string::npos || equals == 0 || equals + 1 == alias.size()) {
            err << "別名は PATTERN=CANONICAL の形で指定してください (alias must be PATTERN=CANONICAL): "
                << alias << '\n';
            return 2;
        }
        VendorAliasDictionary::Rule rule{Uuid::random(), alias.substr(0, equals), alias.substr(equals + 1)};
        // A pattern given again replaces its earlier rule instead of shadowing it.
        std::erase_if(s.aliases.rules, [&](const auto& r) { return r.pattern == rule.pattern; });
        s.aliases.rules.push_back(std::move(rule));
    }
    if (s != before && !CommandSupport::storeSettings(s)) {
        err << "設定を保存できませんでした (settings not saved): "
            << SettingsStore::standardLocation().native() << '\n';
        return 1;
    }
    show(s, out);
    return 0;
}

}  // namespace tavori::Commands
