#include <ostream>

#include "TavoriKit/saving/SavePlanner.h"
#include "cli/CommandSupport.h"
#include "cli/Commands.h"

namespace tavori::Commands {
namespace {

void reportError(const RenameServiceError& error, std::ostream& err) {
    err << error.what();
    if (error.errorCase() == RenameServiceError::Case::exportTargetExists)
        err << "（置き換えるには --force を指定してください）";
    err << '\n';
}

}  // namespace

int exportIndex(const ExportOptions& options, std::ostream& out, std::ostream& err) {
    AppSettings settings = CommandSupport::loadSettings();
    if (options.templateText) settings.nameTemplate.templateText = *options.templateText;
    // Refused before the documents are read, so that the answer does not wait for them.
    std::error_code ec;
    if (!options.force &&
        std::filesystem::symlink_status(options.output, ec).type() != std::filesystem::file_type::not_found &&
        !ec) {
        reportError(RenameServiceError(RenameServiceError::Case::exportTargetExists, options.output), err);
        return 1;
    }

    const auto analyses = CommandSupport::analyzeFiles(options.files, settings, err);
    bool failed = false;
    std::vector<SaveDocument> documents;
    for (const auto& a : analyses) {
        if (!a.ok()) {
            err << a.source.native() << ": " << a.error << '\n';
            failed = true;
            continue;
        }
        documents.push_back(SaveDocument{a.source, *a.fields, std::nullopt});
    }
    const std::vector<IndexBookEntry> entries = SavePlanner::exportEntries(documents, settings.nameTemplate);
    try {
        SavePlanner::writeExport(entries, options.output, options.force);
    } catch (const RenameServiceError& error) {
        reportError(error, err);
        return 1;
    } catch (const std::exception& error) {
        err << error.what() << '\n';
        return 1;
    }
    out << "索引簿 (index book): " << options.output.native() << " (" << entries.size() << ")\n";
    return failed ? 1 : 0;
}

}  // namespace tavori::Commands
