#include <ostream>

#include <nlohmann/json.hpp>

#include "TavoriCore/IndexBookReader.h"
#include "TavoriCore/IndexBookSearch.h"
#include "TavoriKit/indexbook/IndexBookLibrary.h"
#include "cli/CommandSupport.h"
#include "cli/Commands.h"

namespace fs = std::filesystem;

namespace tavori::Commands {
namespace {

// The query the options describe, or nullopt with the reasons on `err`.
std::optional<IndexBookQuery> queryOf(const SearchOptions& options, std::ostream& err) {
    IndexBookQueryText text;
    text.from = options.from.value_or("");
    text.to = options.to.value_or("");
    text.minAmount = options.minAmount.value_or("");
    text.maxAmount = options.maxAmount.value_or("");
    text.vendor = options.vendor.value_or("");
    text.documentType = options.documentType.value_or("");
    text.registrationNumber = options.registrationNumber.value_or("");
    const ParsedIndexBookQuery parsed = parseIndexBookQuery(text);
    for (const std::string& problem : parsed.problems) err << problem << '\n';
    if (!parsed.ok()) return std::nullopt;
    return parsed.query;
}

void printRow(const IndexBookLibrary::Hit& hit, std::ostream& out) {
    const IndexBookEntry& e = hit.entry;
    out << (e.date ? e.date->formatted("yyyy/MM/dd") : "") << '\t'
        << (e.amount ? std::to_string(*e.amount) : "") << '\t' << CommandSupport::column(e.vendor) << '\t'
        << displayName(e.documentType) << '\t' << CommandSupport::column(e.registrationNumber.value_or(""))
        << '\t' << CommandSupport::column(hit.document.empty() ? e.fileName : hit.document.native()) << '\t'
        << (hit.documentExists ? "あり" : "なし") << '\n';
}

void printJson(const IndexBookLibrary::Hit& hit, std::ostream& out) {
    nlohmann::ordered_json j = hit.entry;
    j["book"] = hit.book.native();
    j["document"] = hit.document.native();
    j["exists"] = hit.documentExists;
    out << j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
}

}  // namespace

int search(const SearchOptions& options, std::ostream& out, std::ostream& err) {
    const auto query = queryOf(options, err);
    if (!query) return 2;
    const AppSettings settings = CommandSupport::loadSettings();
    std::vector<fs::path> targets = options.books;
    if (targets.empty()) {
        const auto destination = settings.destinationFolder();
        if (!destination) {
            err << "保存先フォルダが設定されていません。索引簿かそのフォルダを指定してください。" << '\n';
            return 2;
        }
        targets.push_back(*destination);
    }
    std::size_t found = 0;
    try {
        std::vector<std::string> warnings;
        // Printed as they come, so that a whole book listed is never held twice.
        found = IndexBookLibrary::searchFiles(
            targets, settings.indexBookFileName, *query,
            [&](const IndexBookLibrary::Hit& hit) {
                options.json ? printJson(hit, out) : printRow(hit, out);
            },
            &warnings);
        for (const std::string& warning : warnings) err << warning << '\n';
    } catch (const IndexBookReadError& e) {
        err << e.what() << '\n';
        return 1;
    }
    out.flush();
    err << found << "件見つかりました" << '\n';
    return 0;
}

}  // namespace tavori::Commands
