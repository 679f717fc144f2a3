#include "cli/DuplicateReport.h"

#include <ostream>

#include "TavoriKit/DuplicateDetector.h"
#include "TavoriKit/IndexBookLibrary.h"

namespace fs = std::filesystem;

namespace tavori::DuplicateReport {
namespace {

// Where a save would append: the destination's book, or beside the first file when renaming in place
// without a destination.
std::optional<fs::path> bookFor(std::span<const FileAnalysis> analyses, const AppSettings& settings) {
    if (settings.destinationBookmark)
        if (const auto folder = AppSettings::resolveBookmark(*settings.destinationBookmark))
            return *folder / fs::path(settings.indexBookFileName);
    if (settings.mode == RenamePlan::Mode::renameInPlace && !analyses.empty())
        return analyses.front().source.parent_path() / fs::path(settings.indexBookFileName);
    return std::nullopt;
}

}  // namespace

std::vector<std::vector<PossibleDuplicate>> find(std::span<const FileAnalysis> analyses,
                                                 const AppSettings& settings, std::ostream& err) {
    DuplicateDetector detector(settings.aliases);
    if (const auto book = bookFor(analyses, settings)) {
        std::vector<IndexBookEntry> rows;
        std::error_code ec;
        if (fs::exists(*book, ec)) {
            try {
                rows = IndexBookLibrary::read(*book).rows;
            } catch (const IndexBookReadError& e) {
                err << e.what() << "。重複の確認には使いません" << '\n';
            }
        }
        detector.setBook(*book, rows);
    }
    std::vector<DuplicateDocument> documents;
    std::vector<std::size_t> positions;
    for (std::size_t k = 0; k < analyses.size(); ++k) {
        const FileAnalysis& a = analyses[k];
        if (!a.ok()) continue;
        documents.push_back({a.source, DuplicateRecord{a.fields->date, a.fields->amount, a.fields->vendor,
                                                       a.source.filename().native()}});
        positions.push_back(k);
    }
    const auto found = detector.check(documents);
    std::vector<std::vector<PossibleDuplicate>> out(analyses.size());
    for (std::size_t d = 0; d < found.size(); ++d) out[positions[d]] = found[d];
    return out;
}

}  // namespace tavori::DuplicateReport
