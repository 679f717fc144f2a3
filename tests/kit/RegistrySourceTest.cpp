#include "TavoriKit/registry/RegistrySource.h"

#include <gtest/gtest.h>

#include "TavoriKit/registry/RegistryImporter.h"
#include "TavoriKit/service/ReceiptPipeline.h"
#include "samples/RegistrySample.h"
#include "tests/TestFiles.h"

namespace tavori {
namespace {

namespace fs = std::filesystem;
using Level = FieldConfidence::Level;

TEST(RegistrySource, TheRegisteredNameStandsInForAnUncertainVendorOnly) {
    test::TestFolder dir;
    RegistryRecord company = RegistrySample::record(1);
    company.number = "T5000012010024";
    company.kind = RegistryRecord::Kind::corporation;
    company.name = "株式会社みなと製菓";
    company.tradeName.clear();
    RegistryRecord sole = RegistrySample::record(2);
    sole.number = "T1234567890123";
    sole.kind = RegistryRecord::Kind::soleProprietor;
    sole.name = "山田太郎";
    sole.tradeName = "やまだ珈琲";
    test::writeFile(dir / "data.csv", RegistrySample::csv(std::vector{company, sole}));

    ReceiptPipeline pipeline;
    pipeline.useSemantic = false;
    pipeline.registry = std::make_shared<RegistrySource>(dir / "registry.sqlite");
    auto read = [&](const std::string& text, bool strip = true) {
        AnalyzerOptions options;
        options.aliases.stripCorporateSuffix = strip;
        return pipeline
            .analyze(RecognizedDocument::fromPlainText(text, RecognizedDocument::TextSource::ocr, 0), options)
            .fields;
    };
    const std::string branchOnly = "和菓子 本町店\n登録番号 T5000012010024\n2024年11月1日\n合計 ¥1,080\n";
    // Not imported yet: the rules' vendor.
    EXPECT_EQ(read(branchOnly).vendor, "和菓子 本町店");

    RegistryImporter::importFiles(std::vector{dir / "data.csv"}, dir / "registry.sqlite");
    struct Case {
        const char* name;
        std::string text;
        bool strip;
        std::string vendor;
        Level level;
    };
    const std::vector<Case> cases = {
        {"a branch only (medium)", branchOnly, true, "みなと製菓", Level::medium},
        {"the company form kept when the setting says so", branchOnly, false, "株式会社みなと製菓",
         Level::medium},
        {"no vendor found: the trade name", "登録番号 T1234567890123\n2024年11月1日\n合計 ¥500\n", true,
         "やまだ珈琲", Level::medium},
        {"rated high: kept", "株式会社サンプル商事\n登録番号 T5000012010024\n2024年11月1日\n合計 ¥1,080\n",
         true, "サンプル商事", Level::high},
        {"a number the register does not hold", "和菓子 本町店\n登録番号 T9999999999999\n合計 ¥1,080\n", true,
         "和菓子 本町店", Level::medium},
    };
    for (const auto& c : cases) {
        const auto fields = read(c.text, c.strip);
        EXPECT_EQ(fields.vendor, c.vendor) << c.name;
        EXPECT_EQ(fields.confidence.vendor, c.level) << c.name;
    }
    // The answer travels with the analysis, so that the window need not ask again.
    const auto registration =
        pipeline
            .analyze(RecognizedDocument::fromPlainText(branchOnly, RecognizedDocument::TextSource::ocr, 0),
                     {})
            .registration;
    ASSERT_TRUE(registration.has_value());
    EXPECT_EQ(registration->registeredName, "株式会社みなと製菓");
    const auto named = read(branchOnly);
    ASSERT_FALSE(named.confidence.notes.empty());
    EXPECT_EQ(named.confidence.notes.back(),
              "取引先: 登録番号 T5000012010024 の公表データから「みなと製菓」としました");
}

}  // namespace
}  // namespace tavori
