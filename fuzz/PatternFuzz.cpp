#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "TavoriCore/Pattern.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const tavori::Pattern patterns[] = {
        tavori::Pattern(
            "(令和|平成|R|H)\\s?(\\d{1,2}|元)\\s?[年.\\-/]\\s?(\\d{1,2})\\s?[月.\\-/]\\s?(\\d{1,2})\\s?日?"),
        tavori::Pattern("(?<![\\d,])([¥$]?\\s?\\d{1,3}(?:,\\d{3})+|\\d+)(?:\\.(\\d+))?"),
        tavori::Pattern("(?i)(total|合計)|(x*)"),
    };
    const tavori::Unicode::Text text(std::string_view(reinterpret_cast<const char*>(data), size));
    for (const auto& p : patterns) {
        std::size_t previousEnd = 0;
        for (const auto& m : p.matches(text)) {
            // Ranges are in bounds, ordered, non-overlapping, and slice the match text.
            if (m.range.begin < previousEnd || m.range.end < m.range.begin ||
                m.range.end > text.utf8().size())
                std::abort();
            if (text.utf8().substr(m.range.begin, m.range.end - m.range.begin) != m.full) std::abort();
            previousEnd = m.range.end;
        }
        p.replacingMatches(text.utf8(), "#");
    }
    return 0;
}
