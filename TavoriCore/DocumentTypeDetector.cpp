#include "TavoriCore/DocumentTypeDetector.h"

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "TavoriCore/TextNormalizer.h"
#include "TavoriCore/Unicode.h"

namespace tavori::DocumentTypeDetector {
namespace {

struct Marker {
    Unicode::KeywordText folded;
    std::size_t characters = 0;
};

struct Row {
    DocumentType type;
    int weight;
    std::vector<Marker> markers;
};

const std::vector<Row>& markers() {
    static const std::vector<Row> rows = [] {
        struct Source {
            DocumentType type;
            int weight;
            std::vector<const char*> words;
        };
        const std::vector<Source> sources = {
            {DocumentType::invoice,
             10,
             {"請求書", "御請求書", "ご請求書", "INVOICE", "Invoice", "請求金額", "お支払期限", "振込先"}},
            {DocumentType::receipt,
             10,
             {"領収書", "領収証", "レシート", "RECEIPT", "Receipt", "領収", "お買上", "お預り", "お釣り",
              "レジ", "上記正に領収"}},
            {DocumentType::deliveryNote, 8, {"納品書", "納品", "Delivery Note", "Packing"}},
            {DocumentType::estimate,
             8,
             {"見積書", "御見積書", "お見積", "見積", "Quotation", "Quote", "Estimate"}},
            {DocumentType::orderConfirmation,
             6,
             {"注文確認", "ご注文", "注文書", "発注書", "Order Confirmation", "Purchase Order"}},
            {DocumentType::statement, 5, {"明細書", "利用明細", "ご利用明細", "Statement"}},
            {DocumentType::contract, 5, {"契約書", "Agreement", "Contract"}},
        };
        std::vector<Row> out;
        for (const auto& s : sources) {
            Row row{s.type, s.weight, {}};
            for (const char* w : s.words)
                row.markers.push_back({Unicode::KeywordText::of(w, true), Unicode::characterCount(w)});
            out.push_back(std::move(row));
        }
        return out;
    }();
    return rows;
}

}  // namespace

DocumentType detect(std::span<const TextLine> lines) {
    std::array<int, allDocumentTypes.size()> tally{};
    bool any = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string t = TextNormalizer::normalize(lines[i].text);
        const auto folded = Unicode::KeywordText::of(t, true);
        std::size_t length = 0;
        bool lengthKnown = false;
        for (const Row& row : markers()) {
            for (const Marker& m : row.markers) {
                if (!Unicode::containsPrepared(folded, m.folded)) continue;
                if (!lengthKnown) {
                    length = Unicode::firstScalars(t).size();
                    lengthKnown = true;
                }
                const int titleArea = i < 5 ? 5 : 0;
                const int titleLike = length <= m.characters + 4 ? 5 : 0;
                tally[static_cast<std::size_t>(row.type)] += row.weight + titleArea + titleLike;
                any = true;
            }
        }
    }
    if (!any) return DocumentType::other;
    // Ties go to the type listed first.
    std::size_t best = 0;
    for (std::size_t k = 1; k < tally.size(); ++k)
        if (tally[k] > tally[best]) best = k;
    return allDocumentTypes[best];
}

}  // namespace tavori::DocumentTypeDetector
