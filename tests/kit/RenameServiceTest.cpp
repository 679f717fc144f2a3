#include "TavoriKit/saving/RenameService.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <map>
#include <memory>
#include <utility>

#include "tests/TestFiles.h"

namespace tavori {
namespace {

namespace fs = std::filesystem;
using namespace tavori::test;
using Mode = RenamePlan::Mode;
using Case = RenameServiceError::Case;

struct PlanSpec {
    std::string source;  // paths relative to the test folder
    std::string folder;
    std::string baseName;
    Mode mode;
};

struct BatchCase {
    std::string name;
    std::vector<std::string> files;
    std::vector<PlanSpec> plans;
    std::vector<std::string> destinations;
};

void PrintTo(const BatchCase& c, std::ostream* os) {
    *os << c.name;
}

class RenameBatchTest : public testing::TestWithParam<BatchCase> {};

TEST_P(RenameBatchTest, PicksFreeNamesAndMovesTheBytes) {
    const BatchCase& c = GetParam();
    TestFolder root;
    std::map<std::string, std::string> expected;
    for (const auto& file : c.files) writeFile(root / file, expected[file] = "bytes of " + file);
    const auto original = expected;
    std::vector<RenamePlan> plans;
    for (const auto& p : c.plans) {
        plans.push_back({root / p.source, root / p.folder, p.baseName, p.mode});
        if (p.mode != Mode::copy) expected.erase(p.source);
    }
    for (std::size_t i = 0; i < c.plans.size(); ++i)
        expected[c.destinations.at(i)] = original.at(c.plans[i].source);

    const auto results = RenameService::execute(plans);

    ASSERT_EQ(results.size(), plans.size());
    for (std::size_t i = 0; i < results.size(); ++i)
        EXPECT_EQ(results[i], (RenameResult{plans[i].source, root / c.destinations[i]})) << "plan " << i;
    EXPECT_EQ(tree(root.path()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Batches, RenameBatchTest,
    testing::Values(
        BatchCase{"SameBaseNameTwice",
                  {"in/a.pdf", "in/b.pdf"},
                  {{"in/a.pdf", "out", "name", Mode::copy}, {"in/b.pdf", "out", "name", Mode::copy}},
                  {"out/name.pdf", "out/name (2).pdf"}},
        BatchCase{"ExistingNamesInOtherCase",
                  {"in/a.pdf", "out/NAME.PDF", "out/Name (2).pdf"},
                  {{"in/a.pdf", "out", "name", Mode::copy}},
                  {"out/name (3).pdf"}},
        BatchCase{"UpperCaseExtensionIsLowered",
                  {"in/IMG_1.JPG"},
                  {{"in/IMG_1.JPG", "out", "店_100", Mode::move}},
                  {"out/店_100.jpg"}},
        BatchCase{"MoveIntoItsOwnFolder",
                  {"in/name.pdf"},
                  {{"in/name.pdf", "in", "name", Mode::move}},
                  {"in/name (2).pdf"}},
        BatchCase{"RenameInPlaceKeepsItsOwnName",
                  {"in/name.pdf"},
                  {{"in/name.pdf", "out", "name", Mode::renameInPlace}},
                  {"in/name.pdf"}},
        BatchCase{"RenameInPlaceIntoAFreedName",
                  {"in/a.pdf", "in/b.pdf", "in/x.pdf"},
                  {{"in/a.pdf", "", "c", Mode::renameInPlace},
                   {"in/b.pdf", "", "a", Mode::renameInPlace},
                   {"in/x.pdf", "", "c", Mode::renameInPlace}},
                  {"in/c.pdf", "in/a.pdf", "in/c (2).pdf"}},
        BatchCase{"SlashesStayInTheFolder",
                  {"in/a.pdf"},
                  {{"in/a.pdf", "out", "../x/y", Mode::copy}},
                  {"out/..xy.pdf"}},
        BatchCase{
            "NoExtension", {"in/README", "out/r"}, {{"in/README", "out", "r", Mode::move}}, {"out/r (2)"}},
        BatchCase{"NamesThatAreNotUtf8",
                  {"in/caf\xe9.PDF", "in/x.P\xc9", "in/b.pdf"},
                  {{"in/caf\xe9.PDF", "", "", Mode::renameInPlace},
                   {"in/x.P\xc9", "", "x", Mode::renameInPlace},
                   {"in/b.pdf", "out", "\x82\xa0", Mode::copy},
                   {"in/b.pdf", "out", "\x82\xa0", Mode::copy}},
                  {"in/caf\xe9.pdf", "in/x.p\xc9", "out/\x82\xa0.pdf", "out/\x82\xa0 (2).pdf"}}),
    [](const testing::TestParamInfo<BatchCase>& info) { return info.param.name; });

// Runs the plans, which must fail with `expected`, and returns the error.
RenameServiceError failure(const std::vector<RenamePlan>& plans, Case expected,
                           const FileSystemCalls& calls = FileSystemCalls::posix()) {
    try {
        RenameService::execute(plans, calls);
    } catch (const RenameServiceError& error) {
        EXPECT_EQ(error.errorCase(), expected) << error.what();
        return error;
    }
    ADD_FAILURE() << "no error";
    return RenameServiceError(Case::destinationMissing, {});
}

TEST(RenameServiceTest, ASourceDeletedMidBatchStopsWithTheDoneResults) {
    TestFolder root;
    writeFile(root / "in/a.pdf", "a");
    writeFile(root / "in/c.pdf", "c");
    const auto error = failure({{root / "in/a.pdf", root / "out", "x", Mode::move},
                                {root / "in/b.pdf", root / "out", "y", Mode::move},
                                {root / "in/c.pdf", root / "out", "z", Mode::move}},
                               Case::sourceMissing);
    EXPECT_STREQ(error.what(), "元ファイルが見つかりません: b.pdf");
    EXPECT_EQ(error.completedResults(), (std::vector<RenameResult>{{root / "in/a.pdf", root / "out/x.pdf"}}));
    EXPECT_EQ(tree(root.path()), (std::map<std::string, std::string>{{"in/c.pdf", "c"}, {"out/x.pdf", "a"}}));
}

TEST(RenameServiceTest, FoldersThatCannotBeUsed) {
    TestFolder root;
    writeFile(root / "a.pdf", "a");
    writeFile(root / "file", "not a folder");
    EXPECT_STREQ(failure({{root / "a.pdf", {}, "x", Mode::copy}}, Case::destinationMissing).what(),
                 "保存先フォルダが選ばれていません");
    for (const char* folder : {"file", "file/sub"}) {
        const auto error =
            failure({{root / "a.pdf", root / folder, "x", Mode::move}}, Case::folderNotCreated);
        EXPECT_TRUE(std::string(error.what()).starts_with("保存先フォルダを作成できません: "))
            << error.what();
    }
    EXPECT_EQ(tree(root.path()).size(), 2u);
}

// The real calls, except that writes to files created in `folder` fail with `error` after `allowed` bytes.
FileSystemCalls failingWrites(const fs::path& folder, int error, std::size_t allowed) {
    FileSystemCalls calls = FileSystemCalls::posix();
    auto budget = std::make_shared<std::size_t>(allowed);
    auto watched = std::make_shared<std::set<int>>();
    calls.open = [folder, watched](const char* path, int flags, mode_t mode) {
        const int fd = FileSystemCalls::posix().open(path, flags, mode);
        if (fd >= 0 && fs::path(path).parent_path() == folder) watched->insert(fd);
        return fd;
    };
    calls.write = [watched, budget, error](int fd, const void* data, std::size_t size) -> ssize_t {
        if (!watched->contains(fd)) return FileSystemCalls::posix().write(fd, data, size);
        if (*budget == 0) return errno = error, -1;
        const std::size_t n = std::min(size, *budget);
        *budget -= n;
        return FileSystemCalls::posix().write(fd, data, n);
    };
    return calls;
}

// The real calls, except that renaming `source` reports another file system.
FileSystemCalls acrossFileSystems(const fs::path& source, FileSystemCalls calls = FileSystemCalls::posix()) {
    calls.renameNoReplace = [source](const char* from, const char* to) {
        if (fs::path(from) == source) return errno = EXDEV, -1;
        return FileSystemCalls::posix().renameNoReplace(from, to);
    };
    return calls;
}

TEST(RenameServiceTest, ReadOnlyDestination) {
    // Run as root, permission bits stop nothing, so the file system's answer is given through the calls:
    // first when the file is created, then only when it is renamed into place.
    TestFolder root;
    writeFile(root / "a.pdf", "a");
    for (bool createFails : {true, false}) {
        FileSystemCalls calls = FileSystemCalls::posix();
        if (createFails) calls.open = [](const char*, int, mode_t) { return errno = EROFS, -1; };
        calls.renameNoReplace = [](const char*, const char*) { return errno = EROFS, -1; };
        for (Mode mode : {Mode::copy, Mode::move}) {
            const auto error = failure({{root / "a.pdf", root / "out", "x", mode}},
                                       mode == Mode::copy ? Case::copyFailed : Case::moveFailed, calls);
            EXPECT_TRUE(std::string(error.what()).ends_with(": a.pdf（読み取り専用の場所です）"))
                << error.what();
            EXPECT_EQ(tree(root.path()), (std::map<std::string, std::string>{{"a.pdf", "a"}}));
        }
    }
}

TEST(RenameServiceTest, FullDiskLeavesNoPartialFile) {
    TestFolder root;
    const std::string big(3 << 20, 'x');
    writeFile(root / "in/a.pdf", "a");
    writeFile(root / "in/big.pdf", big);
    fs::create_directory(root / "out");
    const std::vector<RenamePlan> plans{{root / "in/a.pdf", root / "out", "first", Mode::copy},
                                        {root / "in/big.pdf", root / "out", "second", Mode::copy}};
    const auto error = failure(plans, Case::copyFailed, failingWrites(root / "out", ENOSPC, (1 << 20) + 100));
    EXPECT_STREQ(error.what(), "ファイルをコピーできません: big.pdf（空き容量が足りません）");
    EXPECT_EQ(error.completedResults().size(), 1u);
    EXPECT_EQ(names(root / "out"), (std::set<std::string>{"first.pdf"}));

    // Moving to another file system onto a full disk keeps the original.
    const std::vector<RenamePlan> move{{root / "in/big.pdf", root / "out", "second", Mode::move}};
    failure(move, Case::moveFailed,
            acrossFileSystems(move[0].source, failingWrites(root / "out", ENOSPC, 4)));
    EXPECT_EQ(readFile(root / "in/big.pdf"), big);
    EXPECT_EQ(names(root / "out"), (std::set<std::string>{"first.pdf"}));
}

TEST(RenameServiceTest, MoveAcrossFileSystemsCopiesThenRemoves) {
    TestFolder root;
    writeFile(root / "in/a.pdf", "pdf bytes");
    writeFile(root / "out/x.pdf", "other");
    const std::vector<RenamePlan> plans{{root / "in/a.pdf", root / "out", "x", Mode::move}};
    EXPECT_EQ(RenameService::execute(plans, acrossFileSystems(plans[0].source)).at(0).destination,
              root / "out/x (2).pdf");
    EXPECT_EQ(tree(root.path()),
              (std::map<std::string, std::string>{{"out/x.pdf", "other"}, {"out/x (2).pdf", "pdf bytes"}}));
}

TEST(RenameServiceTest, MoveAcrossARealFileSystemBoundary) {
    TestFolder disk;
    if (::access("/dev/shm", W_OK) != 0) GTEST_SKIP() << "no writable /dev/shm to move across";
    TestFolder memory("/dev/shm");
    struct stat a {
    }, b{};
    if (::stat(disk.path().c_str(), &a) != 0 || ::stat(memory.path().c_str(), &b) != 0 ||
        a.st_dev == b.st_dev)
        GTEST_SKIP() << "/dev/shm is on the same file system as the temporary folder";
    writeFile(memory / "a.pdf", "pdf bytes");
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(48);
    fs::last_write_time(memory / "a.pdf", old);
    const std::vector<RenamePlan> plans{{memory / "a.pdf", disk / "out", "x", Mode::move}};
    EXPECT_EQ(RenameService::execute(plans).at(0).destination, disk / "out/x.pdf");
    EXPECT_EQ(tree(disk.path()), (std::map<std::string, std::string>{{"out/x.pdf", "pdf bytes"}}));
    EXPECT_EQ(fs::last_write_time(disk / "out/x.pdf"), old);
    EXPECT_TRUE(names(memory.path()).empty());
}

TEST(RenameServiceTest, AnOriginalThatCannotBeRemovedIsReportedWithItsCopy) {
    for (bool crossDevice : {true, false}) {
        SCOPED_TRACE(crossDevice ? "across file systems" : "by hard link");
        TestFolder root;
        const fs::path source = root / "in/a.pdf";
        writeFile(source, "pdf bytes");
        FileSystemCalls calls = acrossFileSystems(source);
        if (!crossDevice) calls.renameNoReplace = [](const char*, const char*) { return errno = EINVAL, -1; };
        calls.unlink = [source](const char* path) {
            return fs::path(path) == source ? (errno = EACCES, -1) : FileSystemCalls::posix().unlink(path);
        };
        const auto error =
            failure({{source, root / "out", "x", Mode::move}, {source, root / "out", "y", Mode::move}},
                    Case::sourceNotRemoved, calls);
        EXPECT_STREQ(
            error.what(),
            "移動先に保存しましたが、元ファイルを削除できません: a.pdf（アクセスが許可されていません）");
        EXPECT_EQ(error.completedResults(), (std::vector<RenameResult>{{source, root / "out/x.pdf"}}));
        EXPECT_EQ(tree(root.path()), (std::map<std::string, std::string>{{"in/a.pdf", "pdf bytes"},
                                                                         {"out/x.pdf", "pdf bytes"}}));
    }
}

struct LateCollisionCase {
    std::string name;
    Mode mode;
    bool noReplaceUnsupported;  // the file system answers EINVAL to a rename that must not replace
    bool hardLinksUnsupported;  // and EPERM to a hard link
};

void PrintTo(const LateCollisionCase& c, std::ostream* os) {
    *os << c.name;
}

class LateCollisionTest : public testing::TestWithParam<LateCollisionCase> {};

TEST_P(LateCollisionTest, TakesTheNextFreeName) {
    const LateCollisionCase& c = GetParam();
    TestFolder root;
    writeFile(root / "in/a.pdf", "ours");
    FileSystemCalls calls = FileSystemCalls::posix();
    if (c.noReplaceUnsupported)
        calls.renameNoReplace = [](const char*, const char*) { return errno = EINVAL, -1; };
    if (c.hardLinksUnsupported) calls.link = [](const char*, const char*) { return errno = EPERM, -1; };
    // Another program creates the first name tried, after the folder was listed and before the rename.
    auto intruded = std::make_shared<bool>(false);
    for (auto* call : {&calls.renameNoReplace, &calls.link})
        *call = [intruded, real = *call](const char* from, const char* to) {
            if (!std::exchange(*intruded, true)) writeFile(to, "intruder");
            return real(from, to);
        };
    const std::string folder = c.mode == Mode::renameInPlace ? "in/" : "out/";
    const std::vector<RenamePlan> plans{{root / "in/a.pdf", root / "out", "x", c.mode}};
    EXPECT_EQ(RenameService::execute(plans, calls).at(0).destination, root / (folder + "x (2).pdf"));
    std::map<std::string, std::string> expected{{folder + "x.pdf", "intruder"},
                                                {folder + "x (2).pdf", "ours"}};
    if (c.mode == Mode::copy) expected["in/a.pdf"] = "ours";
    EXPECT_EQ(tree(root.path()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Collisions, LateCollisionTest,
    testing::Values(LateCollisionCase{"Copy", Mode::copy, false, false},
                    LateCollisionCase{"Move", Mode::move, false, false},
                    LateCollisionCase{"RenameInPlace", Mode::renameInPlace, false, false},
                    LateCollisionCase{"CopyWithoutNoReplace", Mode::copy, true, false},
                    LateCollisionCase{"MoveWithoutNoReplace", Mode::move, true, false},
                    LateCollisionCase{"MoveWithoutNoReplaceOrLinks", Mode::move, true, true},
                    LateCollisionCase{"CopyWithoutNoReplaceOrLinks", Mode::copy, true, true}),
    [](const testing::TestParamInfo<LateCollisionCase>& info) { return info.param.name; });

}  // namespace
}  // namespace tavori
