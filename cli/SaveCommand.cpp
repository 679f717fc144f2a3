#include <ostream>

#include "TavoriKit/saving/SavePlanner.h"
#include "cli/CommandSupport.h"
#include "cli/Commands.h"

namespace tavori::Commands {
namespace {

void reportUnreadable(const std::vector<FileAnalysis>& analyses, std::ostream& err) {
    for (const auto& a : analyses)
        if (!a.ok()) err << a.source.native() << ": " << a.error << '\n';
}

}  // namespace

int save(const SaveOptions& options, std::ostream& out, std::ostream& err) {
    AppSettings settings = CommandSupport::loadSettings();
    if (!CommandSupport::applyMode(options.mode, settings, err)) return 2;
    if (options.templateText) settings.nameTemplate.templateText = *options.templateText;
    if (options.noIndexBook) settings.writeIndexBook = false;

    SaveSettings saveSettings = settings.saveSettings();
    if (options.destination) saveSettings.destination = CommandSupport::absolutePath(*options.destination);
    // What does not depend on the documents is checked before any of them is read.
    try {
        SavePlanner::check({}, saveSettings);
    } catch (const RenameServiceError& error) {
        CommandSupport::reportSaveFailure(error.errorCase(), error.what(), err);
        return 1;
    }

    // A run killed after placing files but before their rows is completed first, even when this one finds
    // nothing left to save.
    if (saveSettings.destination && !options.dryRun)
        for (const std::string& name : SavePlanner::completeInterrupted(*saveSettings.destination))
            out << "前回中断された保存のファイルを索引簿に記録しました: " << name << '\n';

    const std::vector<FileAnalysis> analyses = CommandSupport::analyzeFiles(options.files, settings, err);
    reportUnreadable(analyses, err);
    bool failed = false;
    std::vector<SaveDocument> documents;
    for (const auto& a : analyses) {
        if (a.ok())
            documents.push_back(SaveDocument{a.source, *a.fields, std::nullopt});
        else
            failed = true;
    }
    if (documents.empty()) return failed ? 1 : 0;

    if (options.dryRun) {
        try {
            const SavePreview preview = SavePlanner::preview(documents, saveSettings);
            for (std::size_t i = 0; i < preview.plans.size(); ++i)
                out << rawValue(preview.plans[i].mode) << '\t' << preview.plans[i].source.native() << '\t'
                    << preview.destinations[i].native() << '\n';
            if (preview.indexBook) out << "索引簿 (index book): " << preview.indexBook->native() << '\n';
        } catch (const RenameServiceError& error) {
            CommandSupport::reportSaveFailure(error.errorCase(), error.what(), err);
            return 1;
        }
        return failed ? 1 : 0;
    }

    // Each file is reported as soon as it is in place, so that an interrupted run still says what it did.
    const SaveReport report =
        SavePlanner::save(documents, saveSettings, [&](std::size_t, const RenameResult& r) {
            out << r.source.native() << " -> " << r.destination.native() << '\n' << std::flush;
        });
    for (const std::string& name : report.recovered)
        out << "前回中断された保存のファイルを索引簿に記録しました: " << name << '\n';
    if (report.indexBook) out << "索引簿 (index book): " << report.indexBook->native() << '\n';
    if (!report.results.empty()) out << report.results.size() << "件を保存しました" << '\n';
    out.flush();
    if (!report.succeeded()) CommandSupport::reportSaveFailure(*report.failureCase, *report.failure, err);
    return failed || !report.succeeded() ? 1 : 0;
}

}  // namespace tavori::Commands
