#pragma once

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "TavoriKit/RenamePlan.h"
#include "TavoriName/AppSettings.h"
#include "cli/BatchAnalysis.h"
#include "cli/Commands.h"

// What the subcommands share: the stored settings, the reading of the named files and the names they get.
namespace tavori::CommandSupport {

// The settings in the user's preferences store.
AppSettings loadSettings();
bool storeSettings(const AppSettings& settings);

// "copy", "move", "rename" or a mode's Japanese name.
std::optional<RenamePlan::Mode> parseMode(std::string_view text);
std::string_view modeWord(RenamePlan::Mode mode);
// Sets the settings' mode from a --mode option when one was given; false, with the message on `err`, when
// the word is not a mode.
bool applyMode(const std::optional<std::string>& text, AppSettings& settings, std::ostream& err);

AnalyzerOptions analyzerOptions(const AppSettings& settings);

// Every named file read and analysed, with a progress line on `err` only when it is a terminal. A file
// named directly that is not a supported document is reported as such instead of being read.
std::vector<FileAnalysis> analyzeFiles(const Commands::FileOptions& files, const AppSettings& settings,
                                       std::ostream& err);

// The base name a save gives: the template's, or the source's own when the template renders nothing.
std::string baseName(const FileNameTemplate& nameTemplate, const FileAnalysis& analysis);
// The base name with the extension a save gives (lower case).
std::string savedName(const FileNameTemplate& nameTemplate, const FileAnalysis& analysis);

}  // namespace tavori::CommandSupport
