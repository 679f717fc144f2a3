#include "cli/DuplicateReport.h"

#include <ostream>

#include "TavoriKit/indexbook/IndexBookLibrary.h"

namespace fs = std::filesystem;

namespace tavori {
namespace {

// Where a save would append: the destination's book, or beside the first file when renaming in place
// without a destination.
std::optional<fs::path> bookFor(const fs::path& firstSource, const AppSettings& settings) {
    if (const auto folder = settings.saveDestination()) return *folder / fs::path(settings.indexBookFileName);
    if (settings.mode == RenameMode::renameInPlace)
        return firstSource.parent_path() / fs::path(settings.indexBookFileName);
    return std::nullopt;
}

}  // namespace

DuplicateReport::DuplicateReport(const AppSettings& settings, std::ostream& err)
    : settings_(settings), err_(err), detector_(settings.aliases) {}

std::vector<PossibleDuplicate> DuplicateReport::add(const FileAnalysis& analysis) {
    if (!bookChosen_) {
        bookChosen_ = true;
        if (const auto book = bookFor(analysis.source, settings_)) {
            std::vector<IndexBookEntry> rows;
            std::error_code ec;
            if (fs::exists(*book, ec)) {
                try {
                    rows = IndexBookLibrary::read(*book).rows;
                } catch (const IndexBookReadError& e) {
                    err_ << e.what() << "。重複の確認には使いません" << '\n';
                }
            }
            detector_.setBook(*book, rows);
        }
    }
    if (!analysis.ok()) return {};
    documents_.push_back(
        {analysis.source, DuplicateRecord{analysis.fields->date, analysis.fields->amount,
                                          analysis.fields->vendor, analysis.source.filename().native()}});
    // Digests and the book's index are kept by the detector, so checking the growing list again costs little.
    auto found = detector_.check(documents_);
    return found.empty() ? std::vector<PossibleDuplicate>{} : std::move(found.back());
}

}  // namespace tavori
