#pragma once

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "TavoriCore/AnalyzerOptions.h"
#include "TavoriCore/PossibleDuplicate.h"
#include "TavoriCore/ReceiptFields.h"
#include "TavoriCore/TelephoneNumberExtractor.h"
#include "TavoriKit/model/SemanticFields.h"
#include "TavoriKit/saving/RenamePlan.h"
#include "TavoriKit/saving/RenameService.h"
#include "TavoriKit/service/AnalysisService.h"
#include "TavoriName/AppSettings.h"
#include "cli/Commands.h"

namespace tavori {

// One file's reading: the fields, or the Japanese description of why the file could not be read.
struct FileAnalysis {
    std::filesystem::path source;
    std::optional<ReceiptFields> fields;
    std::string error;
    bool usedSemantic = false;                // the fields are the local model's answer merged with the rules
    std::optional<SemanticFields> semantic;   // the model's answer as far as the text bears it out
    std::vector<TelephoneNumber> telephones;  // the telephone numbers the text gives, in reading order
    std::optional<RegistrationStatus> registration;  // what the register said of the number, when asked

    bool ok() const { return fields.has_value(); }
};

}  // namespace tavori

// What the subcommands share: the stored settings, the reading of the named files and the names they get.
namespace tavori::CommandSupport {

// The settings in the user's preferences store.
AppSettings loadSettings();
bool storeSettings(const AppSettings& settings);

// "copy", "move", "rename" or a mode's Japanese name.
std::optional<RenamePlan::Mode> parseMode(std::string_view text);
// Sets the settings' mode from a --mode option when one was given; false, with the message on `err`, when
// the word is not a mode.
bool applyMode(const std::optional<std::string>& text, AppSettings& settings, std::ostream& err);

// A --dest folder made absolute (as given when it cannot be).
std::filesystem::path absolutePath(const std::filesystem::path& path);

// Why a save stopped, in one line on `err`.
void reportSaveFailure(RenameServiceError::Case failureCase, const std::string& failure, std::ostream& err);

// A reading as the commands report it.
FileAnalysis fileAnalysis(const std::filesystem::path& source, AnalysisService::Outcome outcome);

// One reading as a tab-separated row of `tavori scan` (see its help for the columns).
void printScanRow(const FileAnalysis& analysis, const FileNameTemplate& nameTemplate,
                  const std::vector<PossibleDuplicate>& duplicates, std::ostream& out);

// Every named file read by the analysis service (the local model included when TAVORI_LLM_URL names one),
// with a progress line on `err` only when it is a terminal. Each reading goes to `row` on the calling thread
// as soon as it and every one before it are done, in the order of the files. A file named directly that is
// not a supported document is reported as such instead of being read.
void analyzeFiles(const Commands::FileOptions& files, const AppSettings& settings, std::ostream& err,
                  const std::function<void(FileAnalysis)>& row);
std::vector<FileAnalysis> analyzeFiles(const Commands::FileOptions& files, const AppSettings& settings,
                                       std::ostream& err);

// The base name a save gives: the template's, or the source's own when the template renders nothing.
std::string baseName(const FileNameTemplate& nameTemplate, const FileAnalysis& analysis);
// The base name with the extension a save gives (lower case).
std::string savedName(const FileNameTemplate& nameTemplate, const FileAnalysis& analysis);

// A value as one tab-separated column: tabs and line breaks inside it would split the row.
std::string column(std::string_view text);

}  // namespace tavori::CommandSupport
