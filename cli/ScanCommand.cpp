#include <ostream>

#include <nlohmann/json.hpp>

#include "TavoriKit/registry/InvoiceRegistry.h"
#include "cli/CommandSupport.h"
#include "cli/Commands.h"
#include "cli/DuplicateReport.h"

namespace tavori::Commands {
namespace {

std::string_view statusWord(const FileAnalysis& analysis) {
    if (!analysis.ok()) return "failed";
    return asksForReview(*analysis.fields) ? "review" : "ready";
}

std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
    std::string out;
    for (const auto& part : parts) {
        if (!out.empty()) out += separator;
        out += part;
    }
    return out;
}

std::string duplicateColumn(const std::vector<PossibleDuplicate>& duplicates) {
    std::vector<std::string> messages;
    for (const auto& d : duplicates) messages.push_back(d.message());
    return CommandSupport::column(joined(messages, " / "));
}

// The model's validated answer, with what it did not bear out left out.
nlohmann::ordered_json semanticJson(const SemanticFields& s) {
    nlohmann::ordered_json j = nlohmann::ordered_json::object();
    if (s.date) j["date"] = *s.date;  // coded as the fields code their date
    if (s.vendor) j["vendor"] = *s.vendor;
    if (s.amount) j["amount"] = *s.amount;
    if (s.documentType) j["documentType"] = *s.documentType;
    if (s.registrationNumber) j["registrationNumber"] = *s.registrationNumber;
    if (s.taxBreakdown) j["taxBreakdown"] = *s.taxBreakdown;
    return j;
}

void printJson(const FileAnalysis& a, const FileNameTemplate& nameTemplate,
               const std::vector<PossibleDuplicate>& duplicates, std::ostream& out) {
    nlohmann::ordered_json j;
    j["file"] = a.source.native();
    j["status"] = statusWord(a);
    if (!a.ok()) {
        j["error"] = a.error;
    } else {
        j["fields"] = *a.fields;
        j["reviewReasons"] = a.fields->confidence.reviewReasons();
        // Always a list, so that a reader need not tell "none printed" from an older output.
        j["taxBreakdown"] = a.fields->taxBreakdown;
        j["name"] = CommandSupport::savedName(nameTemplate, a);
        j["usedSemantic"] = a.usedSemantic;
        if (a.semantic) j["semantic"] = semanticJson(*a.semantic);
        j["duplicates"] = nlohmann::ordered_json::array();
        for (const auto& d : duplicates)
            j["duplicates"].push_back({{"message", d.message()},
                                       {"reason", rawValue(d.reason)},
                                       {"origin", rawValue(d.origin)},
                                       {"file", d.other.fileName}});
        if (a.registration) j["registration"] = *a.registration;
    }
    // File names are bytes; what is not UTF-8 shows as U+FFFD rather than failing the whole output.
    out << j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
}

}  // namespace

int scan(const ScanOptions& options, std::ostream& out, std::ostream& err) {
    AppSettings settings = CommandSupport::loadSettings();
    if (options.templateText) settings.nameTemplate.templateText = *options.templateText;
    // Only the JSON carries the registration status (the analysis asks the register); the rows keep their
    // columns. A register that cannot be read is said once.
    if (options.json) {
        std::string problem;
        InvoiceRegistry::openForAnalysis(&problem);
        if (!problem.empty()) err << problem << '\n';
    }
    bool failed = false;
    DuplicateReport duplicateReport(settings.saveSettings(), settings.aliases, err);
    // Each row as soon as it and the rows before it are read, so a long batch shows results while it runs.
    CommandSupport::analyzeFiles(options.files, settings, err, [&](const FileAnalysis& a) {
        failed = failed || !a.ok();
        const auto duplicates = duplicateReport.add(a);
        if (options.json)
            printJson(a, settings.nameTemplate, duplicates, out);
        else
            CommandSupport::printScanRow(a, settings.nameTemplate, duplicates, out);
        out.flush();
    });
    return failed ? 1 : 0;
}

}  // namespace tavori::Commands

namespace tavori {

void CommandSupport::printScanRow(const FileAnalysis& a, const FileNameTemplate& nameTemplate,
                                  const std::vector<PossibleDuplicate>& duplicates, std::ostream& out) {
    using namespace Commands;
    std::vector<std::string> cols{CommandSupport::column(a.source.native()), std::string(statusWord(a))};
    if (!a.ok()) {
        cols.push_back(CommandSupport::column(a.error));
    } else {
        const ReceiptFields& f = *a.fields;
        cols.push_back(f.date ? f.date->formatted("yyyy-MM-dd") : "");
        cols.push_back(CommandSupport::column(f.vendor));
        cols.push_back(f.amount ? std::to_string(*f.amount) : "");
        cols.push_back(std::string(displayName(f.documentType)));
        cols.push_back(CommandSupport::column(f.registrationNumber.value_or("")));
        cols.push_back(std::string(rawValue(f.confidence.date)) + "/" +
                       std::string(rawValue(f.confidence.vendor)) + "/" +
                       std::string(rawValue(f.confidence.amount)));
        cols.push_back(CommandSupport::column(joined(f.confidence.reviewReasons(), "; ")));
        cols.push_back(CommandSupport::column(CommandSupport::savedName(nameTemplate, a)));
        cols.push_back(duplicateColumn(duplicates));
    }
    out << joined(cols, "\t") << '\n';
}

}  // namespace tavori
