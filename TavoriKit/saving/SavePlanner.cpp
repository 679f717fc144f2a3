#include "TavoriKit/saving/SavePlanner.h"

#include <exception>
#include <set>

#include "TavoriCore/CharacterProperties.h"
#include "TavoriCore/Unicode.h"
#include "TavoriKit/saving/SaveJournal.h"

namespace tavori::SavePlanner {

namespace fs = std::filesystem;
using Case = RenameServiceError::Case;

namespace {

bool needsDestination(const SaveSettings& settings) {
    return settings.mode != RenamePlan::Mode::renameInPlace;
}

// The book must stay UTF-8 throughout: a file name that is not is recorded with replacement characters.
std::string recordedName(const fs::path& file) {
    return Unicode::toValidUtf8(file.filename().native());
}

// What the save will do, for its journal: where each file is planned to go and the row it will get.
std::vector<SaveJournal::Intent> intents(std::span<const SaveDocument> documents,
                                         std::span<const RenamePlan> planned, const SaveSettings& settings) {
    const std::vector<fs::path> destinations = RenameService::plannedDestinations(planned);
    std::vector<SaveJournal::Intent> result;
    result.reserve(planned.size());
    for (std::size_t i = 0; i < planned.size(); ++i) {
        std::error_code ec;
        const std::uintmax_t size = fs::file_size(planned[i].source, ec);
        result.push_back(
            {planned[i].source, destinations[i], ec ? 0 : static_cast<std::uint64_t>(size),
             settings.mode == RenamePlan::Mode::copy,
             entry(static_cast<std::int64_t>(i + 1), documents[i].fields, recordedName(destinations[i]))});
    }
    return result;
}

}  // namespace

std::string baseName(const FileNameTemplate& nameTemplate, const SaveDocument& document) {
    return FileNameTemplate::baseNameOrFallback(nameTemplate.render(document.fields), document.source);
}

std::vector<RenamePlan> plans(std::span<const SaveDocument> documents, const SaveSettings& settings) {
    std::vector<RenamePlan> result;
    result.reserve(documents.size());
    for (const SaveDocument& document : documents) {
        RenamePlan plan;
        plan.source = document.source;
        plan.destinationDirectory =
            settings.destination ? *settings.destination : document.source.parent_path();
        plan.baseName = baseName(settings.nameTemplate, document);
        plan.mode = settings.mode;
        result.push_back(std::move(plan));
    }
    return result;
}

fs::path indexBookFolder(const SaveSettings& settings, const fs::path& firstSource) {
    return settings.destination ? *settings.destination : firstSource.parent_path();
}

std::optional<fs::path> indexBook(const SaveSettings& settings, const std::optional<fs::path>& firstSource) {
    if (!settings.destination && (settings.mode != RenamePlan::Mode::renameInPlace || !firstSource))
        return std::nullopt;
    return indexBookFolder(settings, firstSource.value_or(fs::path())) / fs::path(settings.indexBookFileName);
}

void check(std::span<const SaveDocument> documents, const SaveSettings& settings) {
    if (needsDestination(settings) && !settings.destination)
        throw RenameServiceError(Case::destinationMissing, {});
    if (settings.writeIndexBook && !RenameService::isPlainFileName(settings.indexBookFileName))
        throw RenameServiceError(Case::invalidIndexBookName, fs::path(settings.indexBookFileName));

    // Folders that gain files, and, when moving, the folders that lose them.
    std::set<fs::path> folders;
    if (needsDestination(settings)) folders.insert(*settings.destination);
    if (settings.mode != RenamePlan::Mode::copy)
        for (const SaveDocument& document : documents) folders.insert(document.source.parent_path());
    for (const fs::path& folder : folders) RenameService::checkWritableFolder(folder);

    // Without documents the book's folder is known only when there is a destination.
    if (settings.writeIndexBook && (settings.destination || !documents.empty()))
        RenameService::checkIndexBook(RenameService::indexBookPath(
            indexBookFolder(settings, documents.empty() ? fs::path() : documents.front().source),
            settings.indexBookFileName));
}

SavePreview preview(std::span<const SaveDocument> documents, const SaveSettings& settings) {
    check(documents, settings);
    SavePreview result;
    result.plans = plans(documents, settings);
    result.destinations = RenameService::plannedDestinations(result.plans);
    if (settings.writeIndexBook && !documents.empty())
        result.indexBook = indexBook(settings, documents.front().source);
    return result;
}

SaveReport save(std::span<const SaveDocument> documents, const SaveSettings& settings,
                const std::function<void(std::size_t, const RenameResult&)>& saved,
                const FileSystemCalls& calls) {
    SaveReport report;
    if (documents.empty()) return report;
    try {
        check(documents, settings);
    } catch (const RenameServiceError& error) {
        report.failureCase = error.errorCase();
        report.failure = error.what();
        return report;
    }

    const std::vector<RenamePlan> planned = plans(documents, settings);
    const fs::path bookFolder = indexBookFolder(settings, documents.front().source);
    // What earlier saves into these folders left unfinished: rows of files placed just before they were
    // killed, and copies that never got their names.
    report.recovered = completeInterrupted(bookFolder, calls);
    if (settings.destination && *settings.destination != bookFolder)
        SaveJournal::removeLeftovers(*settings.destination);

    std::optional<RenameService::IndexBookAppender> book;
    if (settings.writeIndexBook)
        book.emplace(RenameService::indexBookPath(bookFolder, settings.indexBookFileName), calls,
                     settings.indexBookTaxColumns);

    // The row comes right after its file, before anything else, so that an interrupted save leaves no file
    // without its row; the journal covers the moment in between.
    std::size_t rows = 0;
    const auto placed = [&](std::size_t index, const RenameResult& result) {
        std::exception_ptr rowError;
        if (book) {
            try {
                book->append(entry(static_cast<std::int64_t>(index + 1), documents[index].fields,
                                   recordedName(result.destination), settings.indexBookTaxColumns));
                report.indexBook = book->book();
                ++rows;
            } catch (RenameServiceError& error) {
                error.appendToDescription("（「" + recordedName(result.destination) +
                                          "」は保存されましたが索引簿に記録されていません。次に同じフォルダへ"
                                          "保存するときに記録されます）");
                rowError = std::current_exception();
            } catch (...) {
                rowError = std::current_exception();
            }
        }
        if (saved) saved(index, result);
        if (rowError) std::rethrow_exception(rowError);
    };
    SaveJournal::Record journal;
    try {
        if (book) {
            book->open();
            journal = SaveJournal::Record::begin(bookFolder, book->book(), book->nextSequence(),
                                                 intents(documents, planned, settings), calls);
        }
        report.results = RenameService::execute(planned, calls, placed);
    } catch (RenameServiceError& error) {
        report.results = error.completedResults();
        const std::size_t notSaved = planned.size() - report.results.size();
        if (notSaved > 0)
            error.appendToDescription("（" + std::to_string(notSaved) + "件は保存されていません）");
        report.failureCase = error.errorCase();
        report.failure = error.what();
    }
    // Kept while a placed file lacks its row, for the next save into the folder to complete.
    if (rows == report.results.size()) journal.finish();
    return report;
}

std::vector<std::string> completeInterrupted(const fs::path& folder, const FileSystemCalls& calls) {
    std::vector<std::string> recovered = SaveJournal::recover(folder, calls);
    SaveJournal::removeLeftovers(folder);
    return recovered;
}

IndexBookEntry entry(std::int64_t sequence, const ReceiptFields& fields, std::string fileName,
                     bool taxColumns) {
    IndexBookEntry row;
    row.sequence = sequence;
    row.date = fields.date;
    row.amount = fields.amount;
    row.vendor = Unicode::withoutFormatOrControl(fields.vendor);
    row.documentType = fields.documentType;
    row.fileName = std::move(fileName);
    row.registrationNumber = fields.registrationNumber;
    if (taxColumns) row.taxBreakdown = fields.taxBreakdown;
    return row;
}

std::vector<IndexBookEntry> exportEntries(std::span<const SaveDocument> documents,
                                          const FileNameTemplate& nameTemplate) {
    std::vector<IndexBookEntry> rows;
    rows.reserve(documents.size());
    for (const SaveDocument& document : documents) {
        const std::string name = document.savedAs
                                     ? recordedName(*document.savedAs)
                                     : Unicode::toValidUtf8(baseName(nameTemplate, document) +
                                                            document.source.extension().native());
        rows.push_back(entry(static_cast<std::int64_t>(rows.size() + 1), document.fields, name));
    }
    return rows;
}

void writeExport(std::span<const IndexBookEntry> entries, const fs::path& output, bool replaceExisting,
                 const FileSystemCalls& calls) {
    if (replaceExisting)
        RenameService::writeIndexBook(entries, output, calls);
    else
        RenameService::writeNewIndexBook(entries, output, calls);
}

}  // namespace tavori::SavePlanner
