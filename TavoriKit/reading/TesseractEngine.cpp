#include "TavoriKit/reading/TesseractEngine.h"

#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <leptonica/allheaders.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <utility>

namespace tavori {
namespace {

struct TextDelete {
    void operator()(char* p) const { delete[] p; }
};
using TesseractText = std::unique_ptr<char, TextDelete>;

std::string trimmedLine(const char* text) {
    std::string s = text ? text : "";
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ' || s.back() == '\r')) s.pop_back();
    std::size_t start = 0;
    while (start < s.size() && s[start] == ' ') ++start;
    return s.substr(start);
}

bool cancelRequested(void* token, int) {
    return static_cast<const CancellationToken*>(token)->isCancelled();
}

}  // namespace

std::filesystem::path TesseractEngine::tessdataFolder() {
    const char* configured = std::getenv("TAVORI_TESSDATA");
    if (configured != nullptr && *configured != '\0') return configured;
    std::error_code ec;
    const std::filesystem::path project = kProjectTessdata;
    if (std::filesystem::is_regular_file(project / "jpn.traineddata", ec) &&
        std::filesystem::is_regular_file(project / "eng.traineddata", ec))
        return project;
    return kDebianTessdata;
}

std::string TesseractEngine::languages() {
    const char* configured = std::getenv("TAVORI_OCR_LANGUAGES");
    if (configured != nullptr && *configured != '\0') return configured;
    std::error_code ec;
    return std::filesystem::is_regular_file(tessdataFolder() / "Japanese.traineddata", ec)
               ? kScriptLanguages
               : kProjectLanguages;
}

TesseractEngine& TesseractEngine::forThisThread() {
    return forThisThread(tessdataFolder(), languages());
}

TesseractEngine& TesseractEngine::forThisThread(const std::filesystem::path& tessdata,
                                                const std::string& languages) {
    thread_local std::map<std::pair<std::string, std::string>, std::unique_ptr<TesseractEngine>> engines;
    auto& slot = engines[{tessdata.native(), languages}];
    if (!slot) slot.reset(new TesseractEngine(tessdata, languages));
    return *slot;
}

TesseractEngine::TesseractEngine(const std::filesystem::path& tessdata, const std::string& languages)
    : api_(std::make_unique<tesseract::TessBaseAPI>()) {
    // Tesseract's own notices ("Estimating resolution…") go nowhere; failures come back as return values.
    // The best_int jpn model asks for a vertical-text sub-language; Tesseract 5.3 adds it to the list of
    // languages while iterating over that list (a use after free), and receipts are set horizontally, so none
    // is loaded.
    std::vector<std::string> names{"debug_file", "tessedit_load_sublangs"};
    std::vector<std::string> values{"/dev/null", ""};
    if (api_->Init(tessdata.c_str(), languages.c_str(), tesseract::OEM_LSTM_ONLY, nullptr, 0, &names, &values,
                   false) != 0)
        throw TextRecognizerError("文字認識エンジンを初期化できませんでした（" + tessdata.string() + "）");
    // Without it Tesseract puts spaces between kanji.
    api_->SetVariable("preserve_interword_spaces", "1");
}

TesseractEngine::~TesseractEngine() {
    if (api_) api_->End();
}

bool TesseractEngine::prepare(const Image& image, const RecognitionSettings& settings) {
    if (image.empty() || image.width() < 3 || image.height() < 3) return false;
    api_->SetPageSegMode(static_cast<tesseract::PageSegMode>(settings.pageSegmentation));
    api_->SetVariable("tessedit_do_invert", settings.tryInverted ? "1" : "0");
    api_->SetImage(image.pix());
    int resolution = settings.resolution > 0 ? settings.resolution : image.resolution();
    if (resolution < 70 || resolution > 2400) resolution = 300;
    api_->SetSourceResolution(resolution);
    return true;
}

std::vector<RecognizedRegion> TesseractEngine::recognizeLines(const Image& image,
                                                              const RecognitionSettings& settings,
                                                              const CancellationToken& cancel) {
    std::vector<RecognizedRegion> regions;
    if (cancel.isCancelled() || !prepare(image, settings)) return regions;
    tesseract::ETEXT_DESC monitor;
    monitor.cancel = &cancelRequested;
    monitor.cancel_this = const_cast<CancellationToken*>(&cancel);
    monitor.set_deadline_msecs(settings.timeoutMilliseconds);
    if (api_->Recognize(&monitor) != 0 || cancel.isCancelled()) {
        api_->Clear();
        return regions;
    }
    std::unique_ptr<tesseract::ResultIterator> it(api_->GetIterator());
    if (it) {
        do {
            int left = 0, top = 0, right = 0, bottom = 0;
            if (!it->BoundingBox(tesseract::RIL_TEXTLINE, &left, &top, &right, &bottom)) continue;
            const TesseractText text(it->GetUTF8Text(tesseract::RIL_TEXTLINE));
            const double confidence = std::clamp(it->Confidence(tesseract::RIL_TEXTLINE) / 100.0, 0.0, 1.0);
            regions.push_back(
                {PixelRect{left, top, right - left, bottom - top}, trimmedLine(text.get()), confidence});
        } while (it->Next(tesseract::RIL_TEXTLINE));
    }
    api_->Clear();
    return regions;
}

std::string TesseractEngine::recognizeText(const Image& image, const RecognitionSettings& settings) {
    if (!prepare(image, settings)) return {};
    const TesseractText text(api_->GetUTF8Text());
    std::string out = text ? text.get() : "";
    api_->Clear();
    return out;
}

}  // namespace tavori
