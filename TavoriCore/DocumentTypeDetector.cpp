#include "TavoriCore/DocumentTypeDetector.h"

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "TavoriCore/Unicode.h"

namespace tavori::DocumentTypeDetector {
namespace {

struct Marker {
    DocumentType type;
    int weight;
    std::size_t characters = 0;
};

// Every marker word in one index; a keyword's number is its position in `markers`.
struct Markers {
    std::vector<Marker> markers;
    std::vector<std::string> words;  // lower-cased, one per marker
    Unicode::KeywordIndex index;
};

const Markers& markers() {
    static const Markers all = [] {
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
        Markers out;
        for (const auto& s : sources) {
            for (const char* w : s.words) {
                out.markers.push_back({s.type, s.weight, Unicode::characterCount(w)});
                out.words.push_back(Unicode::lowercasedNfc(w));
                out.index.add(out.words.back());
            }
        }
        return out;
    }();
    return all;
}

}  // namespace

bool hasMarker(DocumentType type, std::string_view text) {
    if (type == DocumentType::other) return true;
    const std::string folded = Unicode::lowercasedNfc(text);
    const Markers& all = markers();
    for (std::size_t k = 0; k < all.markers.size(); ++k)
        if (all.markers[k].type == type && Unicode::containsPrepared(folded, all.words[k])) return true;
    return false;
}

DocumentType detect(std::span<const TextLine> lines) {
    return detect(PreparedLines(lines));
}

DocumentType detect(const PreparedLines& lines) {
    std::array<int, allDocumentTypes.size()> tally{};
    bool any = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Unicode::PreparedText& line = lines.prepared(i);
        std::size_t length = 0;
        bool lengthKnown = false;
        const Markers& all = markers();
        all.index.search(line.folded(), [&](std::size_t k, std::size_t) {
            const Marker& m = all.markers[k];
            if (!lengthKnown) {
                length = Unicode::firstScalars(line.text()).size();
                lengthKnown = true;
            }
            const int titleArea = i < 5 ? 5 : 0;
            const int titleLike = length <= m.characters + 4 ? 5 : 0;
            tally[static_cast<std::size_t>(m.type)] += m.weight + titleArea + titleLike;
            any = true;
        });
    }
    if (!any) return DocumentType::other;
    // Ties go to the type listed first.
    std::size_t best = 0;
    for (std::size_t k = 1; k < tally.size(); ++k)
        if (tally[k] > tally[best]) best = k;
    return allDocumentTypes[best];
}

}  // namespace tavori::DocumentTypeDetector
