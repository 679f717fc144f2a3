#include <ostream>

#include "TavoriKit/RenameService.h"
#include "cli/CommandSupport.h"
#include "cli/Commands.h"

namespace fs = std::filesystem;

namespace tavori::Commands {
namespace {

IndexBookEntry entryFor(std::int64_t sequence, const ReceiptFields& fields, std::string fileName) {
    IndexBookEntry entry;
    entry.sequence = sequence;
    entry.date = fields.date;
    entry.amount = fields.amount;
    entry.vendor = fields.vendor;
    entry.documentType = fields.documentType;
    entry.fileName = std::move(fileName);
    entry.registrationNumber = fields.registrationNumber;
    return entry;
}

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

    std::optional<fs::path> destination;
    if (options.destination) {
        std::error_code ec;
        destination = fs::absolute(*options.destination, ec);
        if (ec) destination = *options.destination;
    } else if (settings.destinationBookmark) {
        destination = AppSettings::resolveBookmark(*settings.destinationBookmark);
    }
    if (settings.mode != RenamePlan::Mode::renameInPlace && !destination) {
        err << "先に保存先フォルダを選んでください。" << '\n';
        return 1;
    }

    const std::vector<FileAnalysis> analyses = CommandSupport::analyzeFiles(options.files, settings, err);
    reportUnreadable(analyses, err);
    bool failed = false;
    std::vector<const FileAnalysis*> ready;
    for (const auto& a : analyses) {
        if (a.ok())
            ready.push_back(&a);
        else
            failed = true;
    }
    if (ready.empty()) return failed ? 1 : 0;

    std::vector<RenamePlan> plans;
    for (const FileAnalysis* a : ready) {
        RenamePlan plan;
        plan.source = a->source;
        plan.destinationDirectory = destination ? *destination : a->source.parent_path();
        plan.baseName = CommandSupport::baseName(settings.nameTemplate, *a);
        plan.mode = settings.mode;
        plans.push_back(std::move(plan));
    }

    if (options.dryRun) {
        for (std::size_t i = 0; i < plans.size(); ++i) {
            const fs::path folder = plans[i].mode == RenamePlan::Mode::renameInPlace
                                        ? plans[i].source.parent_path()
                                        : plans[i].destinationDirectory;
            out << CommandSupport::modeWord(plans[i].mode) << '\t' << plans[i].source.native() << '\t'
                << (folder / CommandSupport::savedName(settings.nameTemplate, *ready[i])).native() << '\n';
        }
        if (settings.writeIndexBook) {
            const fs::path folder = destination ? *destination : plans.front().source.parent_path();
            out << "索引簿 (index book): " << (folder / settings.indexBookFileName).native() << '\n';
        }
        return failed ? 1 : 0;
    }

    std::vector<RenameResult> results;
    std::optional<std::string> error;
    try {
        results = RenameService::execute(plans);
    } catch (const RenameServiceError& e) {
        // The files before the failing one are saved: they are reported and recorded all the same.
        results = e.completedResults();
        error = e.what();
    } catch (const std::exception& e) {
        error = e.what();
    }
    for (const auto& r : results) out << r.source.native() << " -> " << r.destination.native() << '\n';

    std::optional<std::string> bookError;
    if (settings.writeIndexBook && !results.empty()) {
        std::vector<IndexBookEntry> entries;
        for (std::size_t k = 0; k < results.size(); ++k)
            entries.push_back(entryFor(static_cast<std::int64_t>(k + 1), *ready[k]->fields,
                                       results[k].destination.filename().native()));
        try {
            const fs::path folder = destination ? *destination : results.front().destination.parent_path();
            const fs::path book = RenameService::indexBookPath(folder, settings.indexBookFileName);
            RenameService::appendIndexBook(entries, book);
            out << "索引簿 (index book): " << book.native() << '\n';
        } catch (const std::exception& e) {
            bookError = e.what();
        }
    }
    if (!results.empty()) out << results.size() << "件を保存しました" << '\n';
    out.flush();
    if (error) err << "保存に失敗しました: " << *error << '\n';
    if (bookError) err << "保存に失敗しました: " << *bookError << '\n';
    return failed || error || bookError ? 1 : 0;
}

}  // namespace tavori::Commands
