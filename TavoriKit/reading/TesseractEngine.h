#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "TavoriKit/base/CancellationToken.h"
#include "TavoriKit/reading/Image.h"

namespace tesseract {
class TessBaseAPI;
}

namespace tavori {

// The recogniser could not start (its language data is missing or damaged). Reaches the caller unchanged.
class TextRecognizerError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct RecognitionSettings {
    int pageSegmentation = 6;  // Tesseract's PSM numbering: 4 column, 6 block, 7 single line, 11 sparse
    int resolution = 0;        // pixels per inch of the image; 0 lets the image's own value stand, else 300
    int timeoutMilliseconds = 120000;  // a pathological image must not hold a worker for ever
    // Tesseract reads a line again as white on black when its first reading is poor; on receipts that costs
    // time and seldom finds anything.
    bool tryInverted = true;
};

// One text line as Tesseract found it, in pixels from the image's top-left corner. `text` is empty when the
// line produced no characters; such a line still has a box.
struct RecognizedRegion {
    PixelRect box;
    std::string text;
    double confidence = 0;  // 0 to 1
    bool operator==(const RecognizedRegion&) const = default;
};

// One Tesseract engine with the Japanese script model and English, initialised once per thread and reused for
// every page and crop (initialising costs ~0.4 s and ~50 MiB).
class TesseractEngine {
  public:
    // The Japanese script model of Debian's fast models, used when the project's own models are not
    // installed.
    static constexpr const char* kScriptLanguages = "Japanese+eng";
    static constexpr const char* kDebianTessdata = "/usr/share/tesseract-ocr/5/tessdata";
    // The best_int jpn and eng models that scripts/setup installs; they read receipts better than the fast
    // models (measured with bench_accuracy).
    static constexpr const char* kProjectTessdata = "/usr/local/share/tavori-name/tessdata";
    static constexpr const char* kProjectLanguages = "jpn+eng";

    // The engine of the calling thread for the tessdata folder and languages; throws TextRecognizerError when
    // it cannot be initialised.
    static TesseractEngine& forThisThread();
    static TesseractEngine& forThisThread(const std::filesystem::path& tessdata,
                                          const std::string& languages);
    // `TAVORI_TESSDATA` when set, otherwise the project's folder when its models are installed, otherwise
    // Debian's folder.
    static std::filesystem::path tessdataFolder();
    // `TAVORI_OCR_LANGUAGES` when set, otherwise the script model where the folder has it (Debian's),
    // otherwise jpn+eng.
    static std::string languages();

    ~TesseractEngine();
    TesseractEngine(const TesseractEngine&) = delete;
    TesseractEngine& operator=(const TesseractEngine&) = delete;

    // Text lines in Tesseract's order. Returns what was found so far when `cancel` fires or the time runs
    // out.
    std::vector<RecognizedRegion> recognizeLines(const Image& image, const RecognitionSettings& settings,
                                                 const CancellationToken& cancel = {});
    // The whole image as one plain text, as a bare Tesseract run gives it.
    std::string recognizeText(const Image& image, const RecognitionSettings& settings);

  private:
    TesseractEngine(const std::filesystem::path& tessdata, const std::string& languages);
    bool prepare(const Image& image, const RecognitionSettings& settings);

    std::unique_ptr<tesseract::TessBaseAPI> api_;
};

}  // namespace tavori
