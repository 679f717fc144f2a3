#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>

#include "../TestFiles.h"
#include "CliRunner.h"
#include "samples/RegistrySample.h"
#include "samples/SamplePdf.h"

namespace fs = std::filesystem;
using tavori::RegistryRecord;
using tavori::test::CliRunner;
using tavori::test::readFile;
using tavori::test::TestFolder;
using tavori::test::writeFile;
namespace RegistrySample = tavori::RegistrySample;

namespace {

// The numbers the sample documents print, registered as the cases need them: the stationery shop's receipt
// of 2024-03-15 and the printer's invoice of 2024-05-31.
std::vector<RegistryRecord> sampleIssuers() {
    RegistryRecord shop = RegistrySample::record(1);
    shop.number = "T1234567890123";
    shop.kind = RegistryRecord::Kind::soleProprietor;
    shop.name = "見本　花子";
    shop.tradeName = "さくら文具店";
    shop.registrationDate = shop.updateDate = tavori::DateComponentsValue{2023, 10, 1};
    RegistryRecord printer = RegistrySample::record(2);
    printer.number = "T9876543210987";
    printer.name = "株式会社みどり印刷";
    printer.registrationDate = printer.updateDate = tavori::DateComponentsValue{2024, 6, 1};
    return {shop, printer};
}

class RegistryCliTest : public ::testing::Test {
  protected:
    TestFolder dir;
    CliRunner cli{dir.path()};
};

TEST_F(RegistryCliTest, ImportsLooksUpAndReportsItsStatus) {
    const auto none = cli.run({"registry", "status"});
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_NE(none.out.find("https://www.invoice-kohyo.nta.go.jp/download/"), std::string::npos) << none.out;

    auto records = RegistrySample::records(0, 2000);
    const fs::path full = dir / "zenken.zip";
    RegistrySample::writeZip(full, {{"zenken.csv", RegistrySample::csv(records) + "1,broken\r\n"}});
    const auto imported = cli.run({"registry", "import", full.native()});
    ASSERT_EQ(imported.exitCode, 0) << imported.err;
    EXPECT_NE(imported.out.find("2,000行（読み飛ばし 1行）"), std::string::npos) << imported.out;
    EXPECT_NE(imported.err.find("zenken.csv:2001: 読み飛ばしました"), std::string::npos) << imported.err;
    EXPECT_NE(imported.err.find("取り込み中 (importing) 100%"), std::string::npos) << imported.err;

    RegistryRecord expired = records[10];
    expired.process = RegistryRecord::Process::expired;
    expired.expiryDate = expired.updateDate = tavori::DateComponentsValue{2024, 10, 1};
    const fs::path diff = dir / "diff.csv";
    writeFile(diff, RegistrySample::csv(std::vector{expired}));
    ASSERT_EQ(cli.run({"registry", "import", diff.native()}).exitCode, 0);

    const auto status = cli.run({"registry", "status"});
    EXPECT_EQ(status.exitCode, 0);
    EXPECT_NE(status.out.find("件数 (records)\t2,000\n"), std::string::npos) << status.out;
    EXPECT_NE(status.out.find("公表データの日付 (data as of)\t2024-10-01\n"), std::string::npos)
        << status.out;
    EXPECT_NE(status.out.find("\tzenken.zip\t2,000行（読み飛ばし 1行）\n"), std::string::npos) << status.out;
    EXPECT_NE(status.out.find("\tdiff.csv\t1行\n"), std::string::npos) << status.out;

    const std::string registered = expired.registrationDate->formatted("yyyy-MM-dd");
    struct Lookup {
        std::vector<std::string> args;
        int exitCode;
        std::string state;
    };
    const std::vector<Lookup> lookups = {
        {{expired.number, "--date", registered}, 0, "registered"},
        {{expired.number}, 2, "expired"},  // today
        {{"T0000000000000"}, 2, "notFound"},
    };
    for (const auto& l : lookups) {
        std::vector<std::string> args{"registry", "lookup"};
        args.insert(args.end(), l.args.begin(), l.args.end());
        const auto r = cli.run(args);
        EXPECT_EQ(r.exitCode, l.exitCode)
            << l.args[0] << ' ' << (l.args.size() > 2 ? l.args[2] : "") << r.err;
        EXPECT_EQ(r.out.substr(0, r.out.find('\n')).find(l.state), 15u) << r.out;
        args.push_back("--json");
        const auto json = nlohmann::json::parse(cli.run(args).out);
        EXPECT_EQ(json["state"], l.state);
    }

    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"registry", "lookup", "T123"},
          {"registry", "lookup", expired.number, "--date", "2024/10/01"}}) {
        const auto r = cli.run(bad);
        EXPECT_EQ(r.exitCode, 1) << bad[2];
        EXPECT_FALSE(r.err.empty());
    }
    const auto wrong = cli.run({"registry", "import", (dir / "nothing.csv").native()});
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_NE(wrong.err.find("「nothing.csv」を読み込めません"), std::string::npos) << wrong.err;
}

TEST_F(RegistryCliTest, AKilledImportLeavesTheRegisterAsItWas) {
    const fs::path small = dir / "small.csv", big = dir / "big.csv";
    writeFile(small, RegistrySample::csv(RegistrySample::records(0, 100)));
    RegistrySample::writeGeneratedCsv(big, 1000, 200'000);

    // Whenever the kill comes, the register is either the old one, byte for byte, or the whole new one.
    int interrupted = 0;
    for (const int delay : {20'000, 150'000, 400'000, 900'000}) {
        ASSERT_EQ(cli.run({"registry", "import", "--replace", small.native()}).exitCode, 0);
        const std::string before = readFile(cli.registryFile());
        cli.runAndKill({"registry", "import", big.native()}, std::chrono::microseconds(delay));
        const auto status = cli.run({"registry", "status"});
        if (readFile(cli.registryFile()) == before) {
            ++interrupted;
            EXPECT_NE(status.out.find("件数 (records)\t100\n"), std::string::npos) << status.out;
        } else {
            EXPECT_NE(status.out.find("件数 (records)\t200,100\n"), std::string::npos)
                << "killed after " << delay << " µs: " << status.out;
        }
    }
    EXPECT_GE(interrupted, 1) << "no kill came before the import ended";
    const auto again = cli.run({"registry", "import", big.native()});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_NE(cli.run({"registry", "status"}).out.find("件数 (records)\t200,100\n"), std::string::npos);
    EXPECT_EQ(tavori::test::names(cli.registryFile().parent_path()),
              (std::set<std::string>{"registry.sqlite", "registry.sqlite.lock"}));
}

TEST_F(RegistryCliTest, ScanJsonCarriesEachDocumentsRegistrationStatus) {
    const fs::path in = dir / "in";
    tavori::SamplePdf::writeSamples(in);
    auto numbered = [&](const std::string& name, const std::string& number, const std::string& date) {
        tavori::SamplePdf::write(in / name, {name,
                                             {{"見本工業株式会社", 36, 40, 16},
                                              {"登録番号 " + number, 36, 62, 9},
                                              {"領収書", 36, 90, 14},
                                              {date, 36, 114, 11},
                                              {"合計", 36, 150, 13},
                                              {"¥5,500", 200, 150, 13}}});
    };
    numbered("unknown.pdf", "T1111111111111", "2024年4月1日");

    auto scan = [&] {
        std::map<std::string, nlohmann::json> byFile;
        const auto r = cli.run({"scan", "--json", in.native()});
        for (const auto& line : tavori::test::split(r.out)) {
            auto j = nlohmann::json::parse(line);
            byFile[fs::path(j["file"].get<std::string>()).filename().string()] = j;
        }
        return byFile;
    };
    for (const auto& [file, j] : scan())
        EXPECT_FALSE(j.contains("registration")) << file << " without a register";

    const auto issuers = sampleIssuers();
    const fs::path data = dir / "issuers.csv";
    writeFile(data, RegistrySample::csv(issuers));
    ASSERT_EQ(cli.run({"registry", "import", data.native()}).exitCode, 0);

    const auto results = scan();
    ASSERT_EQ(results.size(), 4u);
    const auto& shop = results.at("scan_0001.pdf")["registration"];
    EXPECT_EQ(shop["state"], "registered");
    EXPECT_EQ(shop["registeredName"], "見本　花子");
    EXPECT_EQ(shop["tradeName"], "さくら文具店");
    EXPECT_EQ(shop["kind"], "soleProprietor");
    EXPECT_EQ(shop["date"], (nlohmann::json{{"year", 2024}, {"month", 3}, {"day", 15}}));
    EXPECT_EQ(results.at("invoice-may.pdf")["registration"]["state"], "notYetRegistered");
    EXPECT_EQ(results.at("unknown.pdf")["registration"]["state"], "notFound");
    EXPECT_NE(results.at("unknown.pdf")["registration"]["message"].get<std::string>().find("見つかりません"),
              std::string::npos);
    EXPECT_FALSE(results.at("scan_0002.pdf").contains("registration"));
}

}  // namespace
