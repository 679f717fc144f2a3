#include <ostream>

#include <nlohmann/json.hpp>

#include "cli/CommandSupport.h"
#include "cli/Commands.h"

namespace tavori::Commands {
namespace {

// A value as one tab-separated column: tabs and line breaks inside it would split the row.
std::string column(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return out;
}

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

void printRow(const FileAnalysis& a, const FileNameTemplate& nameTemplate, std::ostream& out) {
    std::vector<std::string> cols{column(a.source.native()), std::string(statusWord(a))};
    if (!a.ok()) {
        cols.push_back(column(a.error));
    } else {
        const ReceiptFields& f = *a.fields;
        cols.push_back(f.date ? f.date->formatted("yyyy-MM-dd") : "");
        cols.push_back(column(f.vendor));
        cols.push_back(f.amount ? std::to_string(*f.amount) : "");
        cols.push_back(std::string(displayName(f.documentType)));
        cols.push_back(column(f.registrationNumber.value_or("")));
        cols.push_back(std::string(rawValue(f.confidence.date)) + "/" +
                       std::string(rawValue(f.confidence.vendor)) + "/" +
                       std::string(rawValue(f.confidence.amount)));
        cols.push_back(column(joined(f.confidence.reviewReasons(), "; ")));
        cols.push_back(column(CommandSupport::savedName(nameTemplate, a)));
    }
    out << joined(cols, "\t") << '\n';
}

// The model's validated answer, with what it did not bear out left out.
nlohmann::ordered_json semanticJson(const SemanticFields& s) {
    nlohmann::ordered_json j = nlohmann::ordered_json::object();
    if (s.date) j["date"] = *s.date;  // coded as the fields code their date
    if (s.vendor) j["vendor"] = *s.vendor;
    if (s.amount) j["amount"] = *s.amount;
    if (s.documentType) j["documentType"] = *s.documentType;
    if (s.registrationNumber) j["registrationNumber"] = *s.registrationNumber;
    return j;
}

void printJson(const FileAnalysis& a, const FileNameTemplate& nameTemplate, std::ostream& out) {
    nlohmann::ordered_json j;
    j["file"] = a.source.native();
    j["status"] = statusWord(a);
    if (!a.ok()) {
        j["error"] = a.error;
    } else {
        j["fields"] = *a.fields;
        j["reviewReasons"] = a.fields->confidence.reviewReasons();
        j["name"] = CommandSupport::savedName(nameTemplate, a);
        j["usedSemantic"] = a.usedSemantic;
        if (a.semantic) j["semantic"] = semanticJson(*a.semantic);
    }
    // File names are bytes; what is not UTF-8 shows as U+FFFD rather than failing the whole output.
    out << j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
}

}  // namespace

int scan(const ScanOptions& options, std::ostream& out, std::ostream& err) {
    AppSettings settings = CommandSupport::loadSettings();
    if (options.templateText) settings.nameTemplate.templateText = *options.templateText;
    bool failed = false;
    // Each row as soon as it and the rows before it are read, so a long batch shows results while it runs.
    CommandSupport::analyzeFiles(options.files, settings, err, [&](const FileAnalysis& a) {
        failed = failed || !a.ok();
        if (options.json)
            printJson(a, settings.nameTemplate, out);
        else
            printRow(a, settings.nameTemplate, out);
        out.flush();
    });
    return failed ? 1 : 0;
}

}  // namespace tavori::Commands
