#include "cli/CommandSupport.h"

#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <ostream>
#include <variant>

#include "TavoriCore/Unicode.h"
#include "TavoriKit/model/LocalModelConfig.h"
#include "TavoriKit/service/AnalysisService.h"
#include "cli/FileList.h"

namespace fs = std::filesystem;

namespace tavori::CommandSupport {

AppSettings loadSettings() {
    return AppSettings::load(SettingsStore(SettingsStore::standardLocation()));
}

bool storeSettings(const AppSettings& settings) {
    SettingsStore defaults(SettingsStore::standardLocation());
    return settings.save(defaults);
}

std::optional<RenamePlan::Mode> parseMode(std::string_view text) {
    return renameModeFromName(text);
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

FileAnalysis fileAnalysis(const fs::path& source, AnalysisService::Outcome outcome) {
    FileAnalysis analysis{source, std::nullopt, {}, false, std::nullopt, {}, std::nullopt};
    if (auto* result = std::get_if<PipelineResult>(&outcome)) {
        analysis.telephones = TelephoneNumberExtractor::extract(result->document.sortedLines());
        analysis.fields = std::move(result->fields);
        analysis.usedSemantic = result->usedSemantic;
        analysis.semantic = std::move(result->semantic);
        analysis.registration = std::move(result->registration);
    } else {
        analysis.error = std::get<AnalysisError>(outcome).message;
    }
    return analysis;
}

void analyzeFiles(const Commands::FileOptions& files, const AppSettings& settings, std::ostream& err,
                  const std::function<void(FileAnalysis)>& row) {
    // A model URL that will never be contacted is said once, so that the user knows the model is off.
    if (const auto refusal = LocalModelConfig::fromEnvironment().refusal()) err << *refusal << '\n';
    std::vector<std::string> skipped;
    const std::vector<fs::path> expanded = FileList::expand(files.paths, files.recursive, &skipped);
    for (const std::string& note : skipped) err << note << '\n';
    const std::size_t total = expanded.size();
    const bool showProgress = ::isatty(STDERR_FILENO) == 1 && total > 0;

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::optional<FileAnalysis>> finished(total);
    std::size_t done = 0;
    {
        AnalysisService service;
        const AnalyzerOptions options = settings.analyzerOptions();
        for (std::size_t i = 0; i < total; ++i) {
            if (std::error_code ec; fs::is_directory(expanded[i], ec)) {
                FileAnalysis analysis;
                analysis.source = expanded[i];
                analysis.error = "フォルダに読み取れる書類がありません";
                std::lock_guard lock(mutex);
                finished[i] = std::move(analysis);
                ++done;
                continue;
            }
            service.analyze(expanded[i], options,
                            [&, i](AnalysisService::RequestId, AnalysisService::Outcome outcome) {
                                FileAnalysis analysis = fileAnalysis(expanded[i], std::move(outcome));
                                std::lock_guard lock(mutex);
                                finished[i] = std::move(analysis);
                                ++done;
                                changed.notify_one();
                            });
        }
        std::size_t next = 0;
        std::size_t shown = 0;
        std::unique_lock lock(mutex);
        while (next < total) {
            changed.wait(lock, [&] { return done != shown || finished[next].has_value(); });
            shown = done;
            std::vector<FileAnalysis> ready;
            while (next < total && finished[next]) ready.push_back(std::move(*finished[next++]));
            lock.unlock();
            // The progress line is cleared before rows reach a shared terminal, then drawn again below them.
            if (showProgress && !ready.empty()) err << "\r\033[K" << std::flush;
            for (auto& analysis : ready) row(std::move(analysis));
            if (showProgress) err << "\r読み取り中 (reading) " << shown << "/" << total << std::flush;
            lock.lock();
        }
    }
    if (showProgress) err << "\n";
}

std::vector<FileAnalysis> analyzeFiles(const Commands::FileOptions& files, const AppSettings& settings,
                                       std::ostream& err) {
    std::vector<FileAnalysis> result;
    analyzeFiles(files, settings, err, [&](FileAnalysis analysis) { result.push_back(std::move(analysis)); });
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

std::filesystem::path absolutePath(const std::filesystem::path& path) {
    std::error_code ec;
    auto absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute;
}

void reportSaveFailure(RenameServiceError::Case failureCase, const std::string& failure, std::ostream& err) {
    if (failureCase == RenameServiceError::Case::destinationMissing)
        err << "先に保存先フォルダを選んでください。" << '\n';
    else
        err << "保存に失敗しました: " << failure << '\n';
}

// Tabs and line breaks become spaces.
std::string column(std::string_view text) {
    std::string out = Unicode::withoutFormatOrControl(text);
    for (char& c : out)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return out;
}

}  // namespace tavori::CommandSupport
