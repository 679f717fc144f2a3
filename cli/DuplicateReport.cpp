#include "cli/DuplicateReport.h"

#include <ostream>

namespace tavori {

DuplicateReport::DuplicateReport(SaveSettings saveSettings, const VendorAliasDictionary& aliases,
                                 std::ostream& err)
    : saveSettings_(std::move(saveSettings)), err_(err), check_(aliases) {}

std::vector<PossibleDuplicate> DuplicateReport::add(const FileAnalysis& analysis) {
    if (!analysis.ok()) return {};
    if (!bookChosen_) {
        bookChosen_ = true;
        check_.setBook(SavePlanner::indexBook(saveSettings_, analysis.source));
        if (const auto error = check_.bookError()) err_ << *error << "。重複の確認には使いません" << '\n';
    }
    const ReceiptFields& f = *analysis.fields;
    return check_.add(
        {analysis.source, DuplicateRecord{f.date, f.amount, f.vendor, analysis.source.filename().native()}});
}

}  // namespace tavori
