#pragma once

#include <ostream>

namespace tavori {

// Recogniser settings chosen by measurement with bench_accuracy; the defaults are the measured best.
struct OcrTuning {
    int pageSegmentation = 6;    // Tesseract PSM for whole pages
    int rereadSegmentation = 7;  // single line, for the zoomed re-read crops
    double rereadTargetHeight =
        32;  // pixels: of 32, 40 and 48 (bench_accuracy), 32 lost the fewest good readings
    bool reread = true;
    // Rows this many times taller than the page's median text row (large or bold print: a store name, a
    // big 合計) are read again on their own at the body-text height; 0 turns it off. A bold 合計 is printed
    // 1.6 to 2.6 times the body text: a factor of 2 would miss a third of them.
    double tallRowFactor = 1.5;
    // What such a reading does: replace the page pass's text of the row, stay an alternative reading, or
    // replace rows without digits (a store name) and stay an alternative where digits are at stake. Measured
    // with bench_accuracy on generated and public receipts: replacing everything won store names but lost a
    // tenth of the noisy public totals; words-only keeps every total and date and wins the same names.
    enum class TallRows { replace, alternative, replaceWordsOnly };
    TallRows tallRows = TallRows::replaceWordsOnly;
    // Keep a zoomed re-read whose digits are the page pass's but that reads a total label the page pass
    // missed, as an alternative reading.
    bool keepLabelRereads = false;
    // Of the rows that hold prices without a date or a total's label, only those with the page's this many
    // largest amounts get a zoomed re-read; -1 re-reads them all. Measured with bench_accuracy on 340
    // generated and public receipts: 1, 2, 3 and all read the same fields; 2 keeps the tendered cash and the
    // subtotal, the total's nearest rivals, and cuts the re-reads' time by half.
    int rereadAmountRows = 2;
    bool scaleLargeImages = true;  // shrink images above ~300 dpi A4 before recognition
    // The neural recogniser's second reading of the rows with figures, dates or amount labels (when its
    // model is installed).
    bool neuralRows = true;
    // When no row gives a date, the neural detector's rows of the whole page are read for one. Measured
    // with bench_accuracy: it finds the tilted or faint date lines that Tesseract's layout loses.
    bool neuralPageDates = true;
    // Whether a page whose reading so far already gives a certain date and total is read again: always; not
    // by the neural reader (checked after the zoomed re-reads); or, checked after the page pass, only in its
    // tall rows of words (a shop name in large print), then not by the neural reader either. Measured with
    // bench_accuracy on generated and public receipts: the same fields all three ways, the last in half the
    // neural readings and without the figures' re-reads.
    enum class CertainPages { readAgain, skipNeural, namesOnly };
    CertainPages certainPages = CertainPages::namesOnly;
    bool operator==(const OcrTuning&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const OcrTuning& t) {
    os << "OcrTuning{psm:" << t.pageSegmentation << " reread psm:" << t.rereadSegmentation
       << " target:" << t.rereadTargetHeight << " reread:" << t.reread;
    // Written only when on, so readings kept under the earlier settings keep their names.
    if (t.tallRowFactor > 0)
        os << " tall:" << t.tallRowFactor
           << (t.tallRows == OcrTuning::TallRows::replace       ? " replace"
               : t.tallRows == OcrTuning::TallRows::alternative ? " alternative"
                                                                : " words");
    if (t.keepLabelRereads) os << " labels:1";
    if (t.rereadAmountRows >= 0) os << " amount rows:" << t.rereadAmountRows;
    if (t.neuralRows) os << " neural:rows";
    if (t.neuralPageDates) os << " neural:page-dates";
    if (t.certainPages != OcrTuning::CertainPages::readAgain)
        os << (t.certainPages == OcrTuning::CertainPages::skipNeural ? " certain:no-neural"
                                                                     : " certain:names");
    return os << " scale:" << t.scaleLargeImages << '}';
}

}  // namespace tavori
