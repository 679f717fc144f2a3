#include <ostream>

#include "TavoriCore/JournalExport.h"
#include "TavoriKit/saving/RenameService.h"
#include "cli/CommandSupport.h"
#include "cli/Commands.h"

namespace tavori::Commands {

int exportJournal(const JournalOptions& options, std::ostream& out, std::ostream& err) {
    const auto format = JournalExport::formatFromName(options.format);
    if (!format) {
        err << "書き出し形式は yayoi、freee、generic のいずれかです: " << options.format << '\n';
        return 1;
    }
    const AppSettings settings = CommandSupport::loadSettings();
    std::error_code ec;
    if (!options.force &&
        std::filesystem::symlink_status(options.output, ec).type() != std::filesystem::file_type::not_found &&
        !ec) {
        err << RenameServiceError(RenameServiceError::Case::exportTargetExists, options.output).what()
            << "（置き換えるには --force を指定してください）\n";
        return 1;
    }

    bool failed = false;
    std::vector<JournalDocument> documents;
    for (const auto& a : CommandSupport::analyzeFiles(options.files, settings, err)) {
        if (!a.ok()) {
            err << a.source.native() << ": " << a.error << '\n';
            failed = true;
            continue;
        }
        // The files named are the documents as kept, so each one's own name is the memo.
        documents.push_back({*a.fields, a.source.filename().string()});
    }
    const auto output = JournalExport::render(*format, documents, settings.journalAccounts);
    if (!output.unencodable.empty()) {
        for (const auto& u : output.unencodable) err << u.message() << '\n';
        err << "書き出しませんでした。取引先などを直してからもう一度実行してください\n";
        return 1;
    }
    for (const auto& name : output.skipped) err << name << ": 日付か金額がないので書き出しませんでした\n";
    try {
        RenameService::writeExportFile(output.bytes, options.output, options.force);
    } catch (const std::exception& error) {
        err << error.what() << '\n';
        return 1;
    }
    out << "仕訳 (journal): " << options.output.native() << " (" << documents.size() - output.skipped.size()
        << ")\n";
    return failed || !output.skipped.empty() ? 1 : 0;
}

}  // namespace tavori::Commands
