#include <cstdlib>

// Tests read drawn text back with OCR, and fixtures' PDFs name a font they do not embed: left to the machine,
// fontconfig may substitute another Japanese font (IPAGothic reads 「¥990」 as 「¥3,990」). Every test
// process, and the programs it starts, draws with the fonts listed in this file instead. Set before main(),
// so before Poppler, Qt or fontconfig is loaded.
namespace {
const bool pinned = [] { return setenv("FONTCONFIG_FILE", TAVORI_TEST_FONTS_CONF, 1) == 0; }();
}  // namespace
