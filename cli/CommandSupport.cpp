#include "cli/CommandSupport.h"

#include <unistd.h>

#include <ostream>

#include "TavoriCore/Unicode.h"
#include "TavoriKit/DocumentFiles.h"
#include "TavoriKit/DocumentTextExtractor.h"
#include "cli/FileList.h"

namespace fs = std::filesystem;

namespace tavori::CommandSupport {

AppSettings loadSettings() {
    return AppSettings::load(UserDefaults(UserDefaults::standardLocation()));
}

bool storeSettings(const AppSettings& settings) {
    UserDefaults defaults(UserDefaults::standardLocation());
    return settings.save(defaults);
}

std::optional<RenamePlan::Mode> parseMode(std::string_view text) {
    if (text == "copy") return RenamePlan::Mode::copy;
    if (text == "move") return RenamePlan::Mode::move;
    if (text == "rename") return RenamePlan::Mode::renameInPlace;
    return renamePlanModeFromRawValue(text);
}

bool applyMode(const std::optional<std::string>& text, AppSettings& settings, std::ostream& err) {
    if (!text) return true;
    const auto mode = parseMode(*text);
    if (!mode) {
        err << "保存方法は copy, move, rename のいずれかです (mode must be copy, move or rename): " << *text
            << '\n';
        return false;
    }
    settings.mode = *mode;
    return true;
}

std::string_view modeWord(RenamePlan::Mode mode) {
    switch (mode) {
        case RenamePlan::Mode::copy:
            return "copy";
        case RenamePlan::Mode::move:
            return "move";
        case RenamePlan::Mode::renameInPlace:
            return "rename";
    }
    return "copy";
}

AnalyzerOptions analyzerOptions(const AppSettings& settings) {
    AnalyzerOptions options;
    if (!settings.recipientName.empty()) options.recipientName = settings.recipientName;
    options.aliases = settings.aliases;
    return options;
}

std::vector<FileAnalysis> analyzeFiles(const Commands::FileOptions& files, const AppSettings& settings,
                                       std::ostream& err) {
    const std::vector<fs::path> expanded = FileList::expand(files.paths, files.recursive);
    std::vector<fs::path> readable;
    std::vector<std::optional<FileAnalysis>> refused(expanded.size());
    for (std::size_t i = 0; i < expanded.size(); ++i) {
        if (DocumentFiles::isSupported(expanded[i])) {
            readable.push_back(expanded[i]);
        } else {
            refused[i] = FileAnalysis{
                expanded[i], std::nullopt,
                std::string(
                    DocumentTextExtractorError(DocumentTextExtractorError::Case::unsupportedFile).what())};
        }
    }
    const bool showProgress = ::isatty(STDERR_FILENO) == 1 && !readable.empty();
    const std::size_t total = readable.size();
    auto progress = [&](std::size_t done) {
        if (showProgress) err << "\r読み取り中 (reading) " << done << "/" << total << std::flush;
    };
    std::vector<FileAnalysis> analysed = BatchAnalysis::analyzeAll(readable, analyzerOptions(settings),
                                                                   BatchAnalysis::workerCount(), progress);
    if (showProgress) err << "\n";

    std::vector<FileAnalysis> result;
    result.reserve(expanded.size());
    std::size_t next = 0;
    for (auto& r : refused) result.push_back(r ? std::move(*r) : std::move(analysed[next++]));
    return result;
}

std::string baseName(const FileNameTemplate& nameTemplate, const FileAnalysis& analysis) {
    const std::string rendered = analysis.fields ? nameTemplate.render(*analysis.fields) : std::string();
    return FileNameTemplate::baseNameOrFallback(rendered, analysis.source);
}

std::string savedName(const FileNameTemplate& nameTemplate, const FileAnalysis& analysis) {
    std::string ext = analysis.source.extension().native();
    if (!ext.empty()) ext = Unicode::lowercased(ext);
    return baseName(nameTemplate, analysis) + ext;
}

}  // namespace tavori::CommandSupport
