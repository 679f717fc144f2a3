#include "FieldPicker.h"

#include <array>
#include <cstdio>
#include <tuple>
#include <utility>
#include <vector>

#include "TavoriCore/Pattern.h"
#include "TavoriCore/TextNormalizer.h"
#include "TavoriCore/Unicode.h"
#include "TavoriCore/VendorAliasDictionary.h"

namespace tavori::bench {
namespace {

std::string compact(const std::string& s) {
    std::string out;
    for (const auto& character : Unicode::characters(Unicode::lowercased(TextNormalizer::normalize(s))))
        if (character != " ") out += character;
    return out;
}

std::string two(int v) {
    char b[8];
    std::snprintf(b, sizeof b, "%02d", v);
    return b;
}

struct DateForms {
    std::vector<std::string> yearFirst;
    std::vector<std::string> other;
};

DateForms dateForms(const std::string& iso) {
    DateForms f;
    int y = 0, m = 0, d = 0;
    if (std::sscanf(iso.c_str(), "%d-%d-%d", &y, &m, &d) != 3) return f;
    const std::string Y = std::to_string(y), YY = two(y % 100);
    const std::array<std::string, 2> Ms{std::to_string(m), two(m)}, Ds{std::to_string(d), two(d)};
    static const std::array<const char*, 12> shortMonths{"jan", "feb", "mar", "apr", "may", "jun",
                                                         "jul", "aug", "sep", "oct", "nov", "dec"};
    static const std::array<const char*, 12> months{"january",   "february", "march",    "april",
                                                    "may",       "june",     "july",     "august",
                                                    "september", "october",  "november", "december"};
    for (const auto& M : Ms)
        for (const auto& D : Ds) {
            for (const auto& year : {Y, YY}) {
                f.yearFirst.push_back(year + "年" + M + "月" + D + "日");
                for (const char* sep : {"/", "-", "."}) {
                    f.yearFirst.push_back(year + sep + M + sep + D);
                    f.other.push_back(D + sep + M + sep + year);
                    f.other.push_back(M + sep + D + sep + year);
                }
            }
            if (y >= 2019)
                f.yearFirst.push_back("令和" + std::to_string(y - 2018) + "年" + M + "月" + D + "日");
        }
    for (const auto& D : Ds)
        for (const char* month : {shortMonths[m - 1], months[m - 1]}) {
            f.other.push_back(std::string(month) + D + "," + Y);
            f.other.push_back(std::string(month) + "." + D + "," + Y);
            f.other.push_back(D + month + Y);
            f.other.push_back(D + "-" + month + "-" + Y);
            f.other.push_back(D + "-" + month + "-" + YY);
            f.other.push_back(D + "." + month + Y);
        }
    return f;
}

std::vector<std::int64_t> amountReadings(const std::string& token) {
    std::vector<std::int64_t> out;
    auto parse = [&](char thousands, char decimal) {
        std::string digits;
        std::string fraction;
        bool inFraction = false;
        for (char c : token) {
            if (c == thousands) continue;
            if (c == decimal) {
                if (inFraction) return;
                inFraction = true;
                continue;
            }
            (inFraction ? fraction : digits) += c;
        }
        if (digits.empty() || digits.size() > 12) return;
        std::int64_t value = std::stoll(digits);
        if (!fraction.empty() && fraction[0] >= '5') ++value;
        out.push_back(value);
    };
    parse(',', '.');
    parse('.', ',');
    return out;
}

}  // namespace

std::string vendorKey(const std::string& name) {
    std::string s = Unicode::lowercased(TextNormalizer::normalize(name));
    for (const std::string form : {"株式会社", "(株)", "有限会社", "合同会社"})
        for (std::size_t at = s.find(form); at != std::string::npos; at = s.find(form))
            s.erase(at, form.size());
    static const std::array<const char*, 17> corporateWords{
        "sdn", "bhd", "sb",     "bv",      "inc", "ltd", "gmbh", "llc",    "corp",
        "co",  "ag",  "spółka", "akcyjna", "sa",  "nv",  "plc",  "company"};
    std::string out;
    std::string word;
    auto flush = [&] {
        bool corporate = false;
        for (const char* w : corporateWords) corporate = corporate || word == w;
        if (!corporate) out += word;
        word.clear();
    };
    for (const auto& character : Unicode::characters(s)) {
        if (character == " ") {
            flush();
        } else if (Unicode::isLetter(character) || Unicode::isNumber(character)) {
            word += character;
        }
    }
    flush();
    return out;
}

namespace {

bool amountPresent(const std::string& text, std::int64_t total) {
    static const Pattern number(R"(\d[\d,.]*)");
    for (const auto& match : number.matches(text)) {
        std::string token = match.full;
        while (!token.empty() && (token.back() == ',' || token.back() == '.')) token.pop_back();
        for (std::int64_t value : amountReadings(token))
            if (value == total) return true;
    }
    return false;
}

// Whether the date is present, and whether printed year first.
std::pair<bool, bool> datePresent(const std::string& text, const std::string& iso) {
    const DateForms forms = dateForms(iso);
    bool yearFirst = false;
    for (const auto& form : forms.yearFirst) yearFirst = yearFirst || text.find(form) != std::string::npos;
    bool found = yearFirst;
    for (const auto& form : forms.other) found = found || text.find(form) != std::string::npos;
    return {found, yearFirst};
}

}  // namespace

bool sameVendor(const std::string& picked, const std::string& label) {
    const auto contained = [](const std::string& x, const std::string& y) {
        const std::string a = vendorKey(x), b = vendorKey(y);
        return !a.empty() && !b.empty() && (a.find(b) != std::string::npos || b.find(a) != std::string::npos);
    };
    // The analyzer gives the built-in display name ("Amazon Web Services" becomes "AWS"); the label is
    // mapped the same way before it is compared.
    static const VendorAliasDictionary aliases;
    return contained(picked, label) || contained(picked, aliases.canonicalName(label));
}

FieldScore score(const ReceiptFields& fields, const Sample& expected) {
    FieldScore s;
    s.date = expected.date.empty() || (fields.date && fields.date->description() == expected.date);
    s.amount = !expected.total || fields.amount == expected.total;
    s.vendor = expected.vendor.empty() || sameVendor(fields.vendor, expected.vendor);
    return s;
}

TextPresence presence(const RecognizedDocument& document, const Sample& oracle) {
    TextPresence picked;
    std::string all, rereads;
    std::vector<std::string> lineKeys;
    for (const auto& line : document.sortedLines()) {
        all += compact(line.text) + "\n";
        const auto holdsField = [&](const std::string& text) {
            const std::string c = compact(text);
            return (oracle.total && amountPresent(c, *oracle.total)) ||
                   (!oracle.date.empty() && datePresent(c, oracle.date).first);
        };
        const bool lineHolds = holdsField(line.text);
        for (const auto& alternative : line.alternatives) {
            rereads += compact(alternative) + "\n";
            const bool alternativeHolds = holdsField(alternative);
            picked.rereadsGained += !lineHolds && alternativeHolds;
            picked.rereadsLost += lineHolds && !alternativeHolds;
        }
        picked.alternatives += static_cast<int>(line.alternatives.size());
        lineKeys.push_back(vendorKey(line.text));
    }

    if (oracle.total) {
        const bool inText = amountPresent(all, *oracle.total);
        const bool inRereads = !inText && amountPresent(rereads, *oracle.total);
        picked.amount = inText || inRereads;
        picked.amountOnlyInRereads = inRereads;
    } else {
        picked.amount = true;
    }

    if (!oracle.date.empty()) {
        auto [found, yearFirst] = datePresent(all, oracle.date);
        if (!found) {
            std::tie(found, yearFirst) = datePresent(rereads, oracle.date);
            picked.dateOnlyInRereads = found;
        }
        picked.date = found;
        picked.dateYearFirst = yearFirst;
    } else {
        picked.date = picked.dateYearFirst = true;
    }

    const std::string expected = vendorKey(oracle.vendor);
    std::string allKeys;
    for (const auto& key : lineKeys) allKeys += key;
    bool vendorFound = !expected.empty() && allKeys.find(expected) != std::string::npos;
    for (const auto& key : lineKeys)
        vendorFound =
            vendorFound || (Unicode::characterCount(key) >= 4 && expected.find(key) != std::string::npos);
    picked.vendor = oracle.vendor.empty() || vendorFound;
    return picked;
}

}  // namespace tavori::bench
