#pragma once

#include <string>
#include <string_view>

// Tesseract often cuts a printed number at its separator ("¥1, 980", "80. 90", "¥ 500"). This puts the pieces
// back together so that what reaches the extractors is what a careful reader would see. Only spaces that sit
// inside a number shape are removed: after a currency sign, around a thousands comma followed by exactly
// three digits, and around a decimal point followed by exactly two. After a yen sign, a point before exactly
// three digits is read as the thousands comma it stands for (「¥1.180」).
namespace tavori::NumberJoiner {

std::string join(std::string_view text);

}  // namespace tavori::NumberJoiner
