#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "TavoriCore/PreparedLines.h"
#include "TavoriCore/TaxBreakdown.h"
#include "TavoriCore/TextLine.h"

// Finds, for each consumption-tax rate a document names (10 %, the reduced 8 %), the amount subject to it and
// its tax, in the forms tills and invoices print: 「10%対象 ¥2,200 内消費税 ¥200」, 「(8%対象 ¥1,080)」,
// 「軽減税率対象 ¥1,080」, 「消費税等(10%) ¥200」, the amount on the line under its label, the tax on the
// line under its amount.
namespace tavori::TaxBreakdownExtractor {

// The amounts by rate, 10 % first. `total` is the document's total: whether the amounts include their tax is
// read from which reading adds up to it (and otherwise from the words 内税, 外税, 税抜 …), and a rate whose
// tax alone is printed takes what the other rates leave of it.
std::vector<TaxRateAmount> extract(const PreparedLines& lines, std::optional<std::int64_t> total);
std::vector<TaxRateAmount> extract(std::span<const TextLine> lines, std::optional<std::int64_t> total);

}  // namespace tavori::TaxBreakdownExtractor
