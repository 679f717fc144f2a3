#include <ostream>

#include <nlohmann/json.hpp>

#include "TavoriCore/IndexBookReader.h"
#include "TavoriKit/indexbook/IndexBookLibrary.h"
#include "cli/CommandSupport.h"
#include "cli/Commands.h"

namespace fs = std::filesystem;

namespace tavori::Commands {
namespace {

std::string typeNames() {
    std::string names;
    for (DocumentType type : allDocumentTypes) {
        if (!names.empty()) names += "、";
        names += displayName(type);
    }
    return names;
}

// The query the options describe, or nullopt with the reason on `err`.
std::optional<IndexBookQuery> queryOf(const SearchOptions& options, std::ostream& err) {
    IndexBookQuery query;
    auto date = [&](const std::optional<std::string>& text, std::optional<DateComponentsValue>& into) {
        if (!text) return true;
        into = IndexBookReader::parseDate(*text);
        if (!into)
            err << "日付は 2024-01-31 の形（1990年から2100年まで）で指定してください: " << *text << '\n';
        return into.has_value();
    };
    auto amount = [&](const std::optional<std::string>& text, std::optional<std::int64_t>& into) {
        if (!text) return true;
        into = IndexBookReader::parseAmount(*text);
        if (!into) err << "金額は円の整数で指定してください: " << *text << '\n';
        return into.has_value();
    };
    if (!date(options.from, query.from) || !date(options.to, query.to) ||
        !amount(options.minAmount, query.minAmount) || !amount(options.maxAmount, query.maxAmount))
        return std::nullopt;
    query.vendor = options.vendor.value_or("");
    if (options.documentType) {
        query.documentType = documentTypeFromRawValue(*options.documentType);
        if (!query.documentType) {
            err << "書類種別は次のどれかで指定してください: " << typeNames() << '\n';
            return std::nullopt;
        }
    }
    query.registrationNumber = options.registrationNumber.value_or("");
    return query;
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
    std::vector<IndexBookLibrary::Book> books;
    try {
        books = IndexBookLibrary::readAll(targets, settings.indexBookFileName);
    } catch (const IndexBookReadError& e) {
        err << e.what() << '\n';
        return 1;
    }
    const auto hits = IndexBookLibrary::search(books, *query);
    for (const auto& hit : hits) {
        if (options.json)
            printJson(hit, out);
        else
            printRow(hit, out);
    }
    out.flush();
    err << hits.size() << "件見つかりました" << '\n';
    return 0;
}

}  // namespace tavori::Commands
