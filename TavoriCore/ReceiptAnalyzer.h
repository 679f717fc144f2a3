#pragma once

#include <span>

#include "TavoriCore/AnalyzerOptions.h"
#include "TavoriCore/ReceiptFields.h"
#include "TavoriCore/RecognizedDocument.h"

// The rule-based reading of one document: runs the extractors over the lines in reading order, picks each
// field, rates it and writes the reviewer's notes. Pure and total.
namespace tavori::ReceiptAnalyzer {

ReceiptFields analyze(const RecognizedDocument& document, const AnalyzerOptions& options);

// Revises the date and the amount from the lines' alternative readings (a zoomed second reading); never
// supplies a missing value, never raises a level, and leaves an amount that `amountSettled` says the
// receipt's arithmetic bears out.
void applyAlternativeReadings(ReceiptFields& fields, std::span<const TextLine> lines, bool amountSettled);

}  // namespace tavori::ReceiptAnalyzer
