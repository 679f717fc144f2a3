#include "TavoriCore/ReceiptAnalyzer.h"

#include <algorithm>
#include <string>
#include <vector>

#include "TavoriCore/AmountExtractor.h"
#include "TavoriCore/DateExtractor.h"
#include "TavoriCore/DocumentTypeDetector.h"
#include "TavoriCore/FileNameTemplate.h"
#include "TavoriCore/PreparedLines.h"
#include "TavoriCore/RegistrationNumberExtractor.h"
#include "TavoriCore/TaxBreakdownExtractor.h"
#include "TavoriCore/TelephoneNumberExtractor.h"
#include "TavoriCore/TextNormalizer.h"
#include "TavoriCore/VendorExtractor.h"

namespace tavori::ReceiptAnalyzer {
namespace {

using Level = FieldConfidence::Level;

// Date scores: a complete date scores 50 (35 or less for a two-digit year or a bare number), a label such as
// "発行日" adds 40 to 60, and the page position up to 25.
// A complete date with a label of its own: nothing more can be learnt from the text.
constexpr int kDateHigh = 90;
// A complete date (era or four-digit year) even without a label; shorter forms stay low.
constexpr int kDateMedium = 50;
// Two different dates this close are the same kind of date read with the same help: the reader should look.
constexpr int kDateCompetitorMargin = 15;

// Amount scores: a label gives 30 to 100 ("合計" 70, "ご請求金額" 100), a currency mark 25, a thousands
// separator 10 and the page position up to 10; an unlabelled number loses 20.
// A strong total label, or "合計" with a currency mark: what a printed total looks like.
constexpr int kAmountHigh = 90;
// At least a weak label ("金額" is 40); below it the amount was chosen without any heading.
constexpr int kAmountMedium = 40;
// Less apart than one currency mark or thousands separator: a different amount this close is a real rival.
constexpr int kAmountCompetitorMargin = 10;

// Vendor scores: the page position gives up to 55, a corporate form 35, a brand or a registration number
// near it 45 each, an issuer label 75.
// Below this a line is only a line near the top, too weak to name the vendor at all.
constexpr int kVendorMinimum = 10;
// A name with a corporate form or a brand, or a labelled issuer, rather than just the first line.
constexpr int kVendorHigh = 60;
// A top line with a little more than its position to recommend it.
constexpr int kVendorMedium = 30;
// The lead over the next candidate that a high score needs; closer, the two names are both plausible.
constexpr int kVendorLeadMargin = 15;

std::string lastTwoCharacters(const std::string& s) {
    return s.size() <= 2 ? s : s.substr(s.size() - 2);
}

void analyzeDate(ReceiptFields& fields, const PreparedLines& lines) {
    const auto dates = DateExtractor::extract(lines);
    if (dates.empty()) return;
    const ExtractedDate& best = dates.front();
    fields.date = best.date;
    fields.confidence.date = best.score >= kDateHigh     ? Level::high
                             : best.score >= kDateMedium ? Level::medium
                                                         : Level::low;
    if (best.hasRepairedDigits) {
        // Only a guess at what the printer meant: the reader must look.
        fields.confidence.date = Level::low;
        std::string printed = best.raw;
        while (!printed.empty() && printed.back() == ' ') printed.pop_back();
        fields.confidence.notes.push_back("日付: 「" + printed +
                                          "」はありえない日付なので、6 や 9 を 0 と読み替えて " +
                                          best.date.formatted("yyyy/MM/dd") + " としました");
        return;
    }
    if (best.isTwoDigitYear) {
        fields.confidence.notes.push_back("日付: 年が2桁表記（" + best.raw + "）なので西暦20" +
                                          lastTwoCharacters(std::to_string(best.date.year)) +
                                          "年と推定しました");
        return;
    }
    // Only the first differing candidate is a competitor; a weaker one hides any later one.
    const auto other = std::find_if(dates.begin() + 1, dates.end(),
                                    [&](const ExtractedDate& d) { return d.date != best.date; });
    if (other != dates.end() &&
        std::int64_t{other->score} >= std::int64_t{best.score} - kDateCompetitorMargin)
        fields.confidence.notes.push_back("日付: 候補が複数あります（" + best.raw + " / " + other->raw +
                                          "）");
}

bool settledByArithmetic(std::span<const ExtractedAmount> amounts, const ExtractedAmount& total) {
    return AmountExtractor::settledByChange(amounts, total) || AmountExtractor::settledByTax(amounts, total);
}

// Whether the arithmetic bears out some printing of `amount` (a total row above the cash, say).
bool settledAnywhere(std::span<const ExtractedAmount> amounts, std::int64_t amount) {
    return std::any_of(amounts.begin(), amounts.end(), [&](const ExtractedAmount& a) {
        return a.amount == amount && settledByArithmetic(amounts, a);
    });
}

// Returns whether the receipt's own arithmetic (cash less change, or subtotal and tax) bears the chosen
// amount out.
bool analyzeAmount(ReceiptFields& fields, const PreparedLines& lines) {
    const auto amounts = AmountExtractor::extract(lines);
    const auto best = AmountExtractor::bestOf(amounts);
    if (!best) return false;
    fields.amount = best->amount;
    const ExtractedAmount* runnerUp = amounts.size() >= 2 ? &amounts[1] : nullptr;
    const bool competes =
        runnerUp && runnerUp->amount != best->amount &&
        std::int64_t{runnerUp->score} >= std::int64_t{best->score} - kAmountCompetitorMargin;
    const bool bestSettled = settledByArithmetic(amounts, *best);
    // A labelled total that the receipt's arithmetic bears out (the cash less the change, the subtotal and
    // its tax) is as sure as a strongly labelled one.
    if (best->score >= kAmountHigh || (best->score >= kAmountMedium && bestSettled)) {
        fields.confidence.amount = competes ? Level::medium : Level::high;
    } else if (best->score >= kAmountMedium) {
        fields.confidence.amount = Level::medium;
    } else {
        fields.confidence.amount = Level::low;
        fields.confidence.notes.push_back(
            "金額: 「合計」などの見出しが見つからず、最も大きい金額を選びました");
    }
    if (competes)
        fields.confidence.notes.push_back("金額: 別の候補 ¥" + FileNameTemplate::grouped(runnerUp->amount) +
                                          " もあります");
    // The cash less the change, or the subtotal and its tax, a digit away from the total: a digit was
    // misread, perhaps the total's.
    if (const auto computed =
            bestSettled ? std::nullopt : AmountExtractor::misreadByArithmetic(amounts, *best)) {
        if (fields.confidence.amount == Level::high) fields.confidence.amount = Level::medium;
        fields.confidence.notes.push_back("金額: 計算すると ¥" + FileNameTemplate::grouped(*computed) +
                                          " になり、読み取った ¥" + FileNameTemplate::grouped(best->amount) +
                                          " と一桁違います");
    }
    return bestSettled || settledAnywhere(amounts, best->amount);
}

void analyzeVendor(ReceiptFields& fields, const PreparedLines& lines, const AnalyzerOptions& options) {
    std::optional<std::string_view> hint;
    if (options.recipientName) hint = *options.recipientName;
    const auto vendors = VendorExtractor::extract(lines, hint);
    if (vendors.empty() || vendors.front().score < kVendorMinimum) return;
    const ExtractedVendor& best = vendors.front();
    if (VendorAliasDictionary::isBareCorporateAffix(best.name)) return;
    fields.vendor = options.aliases.canonicalName(best.name);
    if (best.score >= kVendorHigh) {
        const bool clearLead = vendors.size() < 2 ||
                               std::int64_t{vendors[1].score} < std::int64_t{best.score} - kVendorLeadMargin;
        fields.confidence.vendor = clearLead ? Level::high : Level::medium;
    } else if (best.score >= kVendorMedium) {
        fields.confidence.vendor = Level::medium;
    } else {
        fields.confidence.vendor = Level::low;
    }
    // The line under a logo names a branch, not the shop: however well placed, it is no certain vendor.
    if (fields.confidence.vendor == Level::high && VendorExtractor::isBranchOnly(fields.vendor))
        fields.confidence.vendor = Level::medium;
}

// A shop the user named before is known by its numbers, whatever its logo leaves the rules to guess.
void recallVendor(ReceiptFields& fields, const PreparedLines& lines, const AnalyzerOptions& options) {
    if (options.vendors.entries.empty()) return;
    const auto recalled =
        options.vendors.recall(fields.registrationNumber, TelephoneNumberExtractor::extract(lines));
    if (!recalled) return;
    fields.vendor = recalled->name;
    fields.confidence.vendor = Level::high;
    fields.confidence.notes.push_back(recalled->note);
}

// `text` as a line of its own where `line` stands: a second reading of it, or its first without the others.
TextLine readingOf(const TextLine& line, const std::string& text) {
    return TextLine{text, line.top, line.left, line.page, line.confidence, {}};
}

// An amount read from a point taken for a comma is a guess the reader should see.
void noteBlurredComma(ReceiptFields& fields, std::span<const std::string> blurred) {
    if (!fields.amount) return;
    const auto figure = std::find_if(blurred.begin(), blurred.end(), [&](const std::string& f) {
        return TextNormalizer::digitsOnly(f) == std::to_string(*fields.amount);
    });
    if (figure == blurred.end()) return;
    if (fields.confidence.amount == Level::high) fields.confidence.amount = Level::medium;
    fields.confidence.notes.push_back("金額: 「" + *figure + "」の点はかすれたカンマと見て ¥" +
                                      FileNameTemplate::grouped(*fields.amount) + " としました");
}

}  // namespace

ReceiptFields analyze(const RecognizedDocument& document, const AnalyzerOptions& options) {
    std::vector<TextLine> lines = document.sortedLines();
    // A text layer's point is what the document says; only a reading blurs a comma.
    const std::vector<std::string> blurred =
        document.source == RecognizedDocument::TextSource::ocr && readsAsJapanese(lines)
            ? AmountExtractor::readBlurredCommas(lines)
            : std::vector<std::string>{};
    // Every extractor reads the same normalised lines, so each line is prepared once for all of them.
    const PreparedLines prepared(lines);
    ReceiptFields fields;
    fields.documentType = DocumentTypeDetector::detect(prepared);
    analyzeDate(fields, prepared);
    const bool amountSettled = analyzeAmount(fields, prepared);
    analyzeVendor(fields, prepared, options);
    const auto numbers = RegistrationNumberExtractor::extract(prepared);
    if (!numbers.empty()) fields.registrationNumber = numbers.front();
    recallVendor(fields, prepared, options);
    applyAlternativeReadings(fields, lines, amountSettled);
    // After the re-reads, so the amounts by rate are held to the total that stands.
    fields.taxBreakdown = TaxBreakdownExtractor::extract(prepared, fields.amount);
    fields.confidence.taxBreakdown = TaxBreakdown::assess(fields.taxBreakdown, fields.amount);
    // Amounts by rate that add up to another figure mean one of them was misread, perhaps the total.
    if (fields.confidence.taxBreakdown == Level::low && fields.confidence.amount == Level::high)
        fields.confidence.amount = Level::medium;
    noteBlurredComma(fields, blurred);
    return fields;
}

void applyAlternativeReadings(ReceiptFields& fields, std::span<const TextLine> lines, bool amountSettled) {
    std::vector<TextLine> alternatives;
    for (const TextLine& line : lines)
        for (const std::string& reading : line.alternatives) alternatives.push_back(readingOf(line, reading));
    if (alternatives.empty()) return;

    if (fields.date) {
        // Only the rows the date was read from are read again for it: another row's second reading that
        // happens to look like a date (「41.06.20」 in a price row) is no better reading of it.
        std::vector<TextLine> dateRows;
        for (const TextLine& line : lines) {
            if (line.alternatives.empty()) continue;
            const auto own = DateExtractor::candidates(TextNormalizer::normalize(line.text));
            if (std::none_of(own.begin(), own.end(),
                             [&](const DateExtractor::Candidate& c) { return c.date == *fields.date; }))
                continue;
            for (const std::string& reading : line.alternatives) dateRows.push_back(readingOf(line, reading));
        }
        const auto dates = DateExtractor::extract(dateRows);
        // A second reading's impossible date, guessed at (「94月」 taken for 04), overrules nothing, nor does
        // one that another second reading contradicts by confirming the first.
        const bool confirmed = std::any_of(dates.begin(), dates.end(),
                                           [&](const ExtractedDate& d) { return d.date == *fields.date; });
        if (!dates.empty() && !confirmed && !dates.front().hasRepairedDigits) {
            const DateComponentsValue old = *fields.date;
            fields.date = dates.front().date;
            fields.confidence.date = Level::low;
            fields.confidence.notes.push_back("日付: 拡大して読み直すと " +
                                              fields.date->formatted("yyyy/MM/dd") +
                                              " でした（最初の読みは " + old.formatted("yyyy/MM/dd") + "）");
        }
    }

    if (fields.amount) {
        // Each row followed by its second readings, which count as that row: the arithmetic pairs figures
        // of different rows, in their order on the page.
        std::vector<TextLine> combined;
        std::vector<std::int64_t> rowOf;
        combined.reserve(lines.size() + alternatives.size());
        for (std::size_t row = 0; row < lines.size(); ++row) {
            const TextLine& line = lines[row];
            combined.push_back(readingOf(line, line.text));
            for (const std::string& reading : line.alternatives) combined.push_back(readingOf(line, reading));
            rowOf.resize(combined.size(), static_cast<std::int64_t>(row));
        }
        auto candidates = AmountExtractor::extract(combined);
        for (ExtractedAmount& a : candidates) a.lineIndex = rowOf[static_cast<std::size_t>(a.lineIndex)];
        const auto best = AmountExtractor::bestOf(candidates);
        if (!best || best->amount == *fields.amount) return;
        // A total that the receipt's arithmetic bears out is not overruled by a second reading of one row,
        // nor where the arithmetic takes a figure of a second reading (the subtotal read right the second
        // time).
        if (amountSettled || settledAnywhere(candidates, *fields.amount)) return;
        // The new amount must come from the re-read itself, not merely win the combined ranking.
        const auto fromAlternatives = AmountExtractor::extract(alternatives);
        const bool grounded = std::any_of(fromAlternatives.begin(), fromAlternatives.end(),
                                          [&](const ExtractedAmount& a) { return a.amount == best->amount; });
        if (!grounded) return;
        const std::int64_t old = *fields.amount;
        fields.amount = best->amount;
        fields.confidence.amount = Level::low;
        fields.confidence.notes.push_back("金額: 拡大して読み直すと ¥" +
                                          FileNameTemplate::grouped(best->amount) +
                                          " でした（最初の読みは ¥" + FileNameTemplate::grouped(old) + "）");
    }
}

}  // namespace tavori::ReceiptAnalyzer
