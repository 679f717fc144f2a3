#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <map>
#include <thread>

#include "../TestFiles.h"
#include "CliRunner.h"
#include "TavoriKit/service/InboxLedger.h"
#include "samples/SamplePdf.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using tavori::test::CliRunner;
using tavori::test::names;
using tavori::test::readFile;
using tavori::test::TestFolder;
using tavori::test::writeFile;

namespace {

// Polls a condition on files the watching program writes, within a bound.
bool eventually(const std::function<bool()>& condition, std::chrono::seconds bound = 90s) {
    const auto end = std::chrono::steady_clock::now() + bound;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

std::size_t lines(const std::string& text) {
    return count(text, "\n");
}

tavori::SamplePdf::Document undated(const std::string& vendor) {
    return {"undated.pdf",
            {{vendor, 36, 40, 16}, {"領収書", 36, 70, 12}, {"合計", 36, 160, 12}, {"¥500", 200, 160, 12}}};
}

class CliWatchTest : public ::testing::Test {
  protected:
    TestFolder dir;
    CliRunner cli{dir.path()};
    fs::path in = dir / "in";
    fs::path out = dir / "out";
    fs::path home = dir.path();

    void SetUp() override { fs::create_directories(in); }
    int startWatch() const {
        // A restart must not be taken for done on what the run before it wrote.
        fs::remove(home / "stdout");
        fs::remove(home / "stderr");
        return cli.start({"watch", in.native(), "--mode", "copy", "--dest", out.native(), "--save-confident",
                          "--settle", "0.1"});
    }
    std::string stdoutText() const { return readFile(home / "stdout"); }
    std::string stderrText() const { return readFile(home / "stderr"); }
    std::set<std::string> savedPdfs() const {
        std::set<std::string> pdfs;
        for (const auto& name : names(out))
            if (name.ends_with(".pdf")) pdfs.insert(name);
        return pdfs;
    }
};

TEST_F(CliWatchTest, SavesWhatAsksForNoReviewReportsFailuresOnceAndResumesAfterARestart) {
    tavori::SamplePdf::write(in / "a.pdf", tavori::SamplePdf::receipt("あおば商店", 3, 1, 1200));
    tavori::SamplePdf::write(in / "review.pdf", undated("くすのき書房"));
    writeFile(in / "broken.pdf", "%PDF-1.4 nothing else");
    const int first = startWatch();
    tavori::SamplePdf::write(in / "b.pdf", tavori::SamplePdf::receipt("かえで食堂", 3, 2, 2400));
    ASSERT_TRUE(eventually([&] {
        return lines(stdoutText()) >= 4 && count(stderrText(), "保存しました") >= 2;
    })) << stdoutText()
        << stderrText();
    // The broken file is neither read again when it is touched nor when more files arrive.
    fs::last_write_time(in / "broken.pdf", fs::file_time_type::clock::now());
    tavori::SamplePdf::write(in / "c.pdf", tavori::SamplePdf::receipt("さつき薬局", 3, 3, 3600));
    ASSERT_TRUE(eventually([&] { return count(stderrText(), "保存しました") >= 3; })) << stderrText();
    ::kill(first, SIGTERM);
    const auto stopped = cli.finish(first);
    EXPECT_EQ(stopped.exitCode, 1) << "a file that cannot be read fails the run";
    EXPECT_EQ(count(stopped.out, "broken.pdf\tfailed"), 1u) << stopped.out;
    EXPECT_EQ(count(stopped.out, "review.pdf\treview"), 1u) << stopped.out;
    EXPECT_EQ(lines(stopped.out), 5u) << stopped.out;
    EXPECT_EQ(savedPdfs(),
              (std::set<std::string>{"20240301_あおば商店_1200.pdf", "20240302_かえで食堂_2400.pdf",
                                     "20240303_さつき薬局_3600.pdf"}));

    // Meanwhile one more arrives; the copies already saved are not saved again.
    tavori::SamplePdf::write(in / "d.pdf", tavori::SamplePdf::receipt("すみれ花店", 3, 4, 4800));
    const int second = startWatch();
    ASSERT_TRUE(eventually([&] {
        return count(stderrText(), "保存しました") >= 1 && lines(stdoutText()) >= 3;
    })) << stdoutText()
        << stderrText();
    ::kill(second, SIGINT);
    const auto restarted = cli.finish(second);
    EXPECT_EQ(count(restarted.out, "d.pdf\tready"), 1u) << restarted.out;
    EXPECT_EQ(count(restarted.out, "review.pdf\treview"), 1u) << "what waits for review is read again";
    EXPECT_EQ(lines(restarted.out), 3u) << restarted.out;
    EXPECT_EQ(savedPdfs().size(), 4u);
    const std::string book = readFile(out / "索引簿.csv");
    EXPECT_EQ(lines(book), 5u) << book;
    EXPECT_NE(book.find("\r\n4,2024/03/04,4800,すみれ花店"), std::string::npos)
        << "numbering goes on: " << book;
    EXPECT_EQ(names(in),
              (std::set<std::string>{"a.pdf", "b.pdf", "c.pdf", "d.pdf", "review.pdf", "broken.pdf"}))
        << "copying leaves the inbox as it was";
}

TEST_F(CliWatchTest, AStopDuringASaveFinishesThatSaveFirst) {
    // Large enough that the copy is still running when the signal comes.
    auto big = tavori::SamplePdf::receipt("おおきな倉庫", 5, 5, 5500);
    big.padding = 160u << 20;
    const int pid = startWatch();
    ASSERT_TRUE(eventually([&] { return stderrText().find("Ctrl-C") != std::string::npos; }));
    tavori::SamplePdf::write(in / "big.pdf", big);
    ASSERT_TRUE(eventually([&] { return stdoutText().find("big.pdf\tready") != std::string::npos; }))
        << stdoutText() << stderrText();
    ::kill(pid, SIGINT);
    const auto result = cli.finish(pid);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const fs::path saved = out / "20240505_おおきな倉庫_5500.pdf";
    ASSERT_TRUE(fs::exists(saved)) << result.err;
    EXPECT_EQ(fs::file_size(saved), fs::file_size(in / "big.pdf"));
    EXPECT_EQ(readFile(saved), readFile(in / "big.pdf"));
    EXPECT_EQ(names(out),
              (std::set<std::string>{saved.filename().native(), "索引簿.csv", tavori::InboxLedger::fileName}))
        << "no temporary file left";
    EXPECT_NE(readFile(out / "索引簿.csv").find("20240505_おおきな倉庫_5500.pdf"), std::string::npos);
    EXPECT_TRUE(
        tavori::InboxLedger(out).contains(in / "big.pdf", *tavori::FileSignature::of(in / "big.pdf")));
}

}  // namespace
