#pragma once

// The text toolkit every extractor shares, so that no extractor converts, classifies or searches on its own:
// UTF-8 (Utf8.h), what a character is (CharacterProperties.h), the canonical and cased forms (TextForms.h)
// and keyword search over prepared lines (KeywordSearch.h). All of it lives in namespace tavori::Unicode.
#include "TavoriCore/CharacterProperties.h"
#include "TavoriCore/KeywordSearch.h"
#include "TavoriCore/TextForms.h"
#include "TavoriCore/Utf8.h"
