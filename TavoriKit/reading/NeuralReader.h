#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "TavoriCore/TextLine.h"
#include "TavoriKit/base/CancellationToken.h"
#include "TavoriKit/reading/Image.h"
#include "TavoriKit/reading/Rect.h"

namespace tavori {

// One text row read by the neural recogniser.
struct NeuralReading {
    std::string text;
    double confidence = 0;  // mean probability of the characters read, 0 to 1
};

// A second reader for the figures: the PP-OCRv4 recogniser (a Chinese model, so it reads digits, dates and
// kanji labels well and kana hardly at all) run by OpenCV on single text rows. scripts/setup installs the
// model, rewritten for OpenCV 4.6 as one network per input width; without it nothing is read.
class NeuralReader {
  public:
    static constexpr int kHeight = 48;
    // The input widths the model is installed at; a row goes to the narrowest that holds it, padded.
    static constexpr int kWidths[] = {320, 640, 960, 1280};
    static constexpr const char* kInstalledFolder = "/usr/local/share/tavori-name/paddle";

    // `TAVORI_NEURAL_MODELS` when set, otherwise the installed folder.
    static std::filesystem::path modelFolder();
    // Whether the folder holds the character list and every width's network.
    static bool installed(const std::filesystem::path& folder);
    // The reader of the calling thread for the folder, loaded on first use; null when the model is not
    // installed there.
    static NeuralReader* forThisThread(const std::filesystem::path& folder = modelFolder());

    explicit NeuralReader(const std::filesystem::path& folder);  // throws when the model cannot be loaded
    ~NeuralReader();
    NeuralReader(const NeuralReader&) = delete;
    NeuralReader& operator=(const NeuralReader&) = delete;

    // The text of an image holding one row of print; empty text when nothing was read.
    NeuralReading read(const Image& row);

  private:
    struct Networks;

    std::filesystem::path folder_;
    std::vector<std::string> characters_;
    std::unique_ptr<Networks> networks_;
};

namespace NeuralRows {

// Simplified Chinese forms the model writes for the labels of a Japanese receipt, in their Japanese form
// (合计 → 合計, 找零 → お釣り …), so that the rules find the labels they know.
std::string japaneseLabels(std::string_view text);

// Which rows of normalised text the neural reader reads again: those the zoomed re-read chooses, and rows
// with digits and a date's marks (年, a slash or dash between figures, a time). `read` reads the latter only
// on a page in Japanese that gave no date.
std::vector<bool> worthReading(std::span<const std::string> normalizedRows);

// The same lines, each row worth reading again read by the neural reader: a reading whose figures differ is
// added to the row's alternatives, and a reading that holds a date where a row with a date's marks has
// none, or a total's label where the row has none, is added after the lines as a row of its own, as a second
// reader's rows are. Returns the lines unchanged without a reader.
std::vector<TextLine> read(std::vector<TextLine> lines, std::span<const std::optional<Rect>> boxes,
                           const Image& image, NeuralReader* reader, const CancellationToken& cancel = {});

// When no row of a page in Japanese gives a date, the rows the neural detector finds on the whole page (a
// tilted or faint date line that Tesseract's layout lost) are read top to bottom until one gives a date,
// which is added after the lines as a row of its own. Returns the lines unchanged without a reader or the
// detector's network.
std::vector<TextLine> dateFromWholePage(std::vector<TextLine> lines, const Image& image, std::int64_t page,
                                        NeuralReader* reader, const std::filesystem::path& folder,
                                        const CancellationToken& cancel = {});

}  // namespace NeuralRows

}  // namespace tavori
