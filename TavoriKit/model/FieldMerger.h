#pragma once

#include "TavoriCore/ReceiptFields.h"
#include "TavoriCore/VendorAliasDictionary.h"
#include "TavoriKit/model/SemanticFields.h"

// Combines the rule-based reading with the language model's validated answer. The rules keep the upper hand:
// the model fills gaps, confirms agreeing values and overrides a value only where the rules were unsure, and
// every override of a date, an amount or a medium-confidence vendor is explained by a note.
namespace tavori::FieldMerger {

ReceiptFields merge(const ReceiptFields& rules, const SemanticFields& semantic,
                    const VendorAliasDictionary& aliases);

}  // namespace tavori::FieldMerger
