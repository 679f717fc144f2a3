#include "TavoriKit/RenameService.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace tavori {
namespace {

namespace fs = std::filesystem;
using Mode = RenamePlan::Mode;
using Case = RenameServiceError::Case;

// A fresh folder under `base`, removed with everything in it at the end of the test.
class Folder {
  public:
    explicit Folder(const fs::path& base = fs::temp_directory_path()) {
        std::string name = (base / "tavori-rename-XXXXXX").string();
        if (::mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp failed in " + base.string());
        path_ = name;
    }
    ~Folder() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

  private:
    fs::path path_;
};

void writeFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The names in a folder, as bytes; a missing folder lists as nothing.
std::set<std::string> names(const fs::path& folder) {
    std::set<std::string> result;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        result.insert(it->path().filename().native());
    return result;
}

std::string contentOf(const std::string& name) {
    return "bytes of " + name + "\n";
}

struct PlanSpec {
    std::string source;  // in "in/"
    std::string baseName;
    Mode mode;
};

struct BatchCase {
    std::string name;
    std::vector<std::string> inFiles;   // in the source folder "in/"
    std::vector<std::string> outFiles;  // already in the destination folder "out/"
    std::vector<PlanSpec> plans;
    std::vector<std::string> destinations;  // each plan's result, relative to the test folder
    std::set<std::string> inAfter;
    std::set<std::string> outAfter;
};

void PrintTo(const BatchCase& c, std::ostream* os) {
    *os << c.name;
}

class RenameBatchTest : public testing::TestWithParam<BatchCase> {};

TEST_P(RenameBatchTest, PicksFreeNamesAndMovesTheBytes) {
    const BatchCase& c = GetParam();
    Folder root;
    for (const auto& name : c.inFiles) writeFile(root / ("in/" + name), contentOf(name));
    for (const auto& name : c.outFiles) writeFile(root / ("out/" + name), "already here: " + name);
    std::vector<RenamePlan> plans;
    for (const auto& spec : c.plans)
        plans.push_back({root / ("in/" + spec.source), root / "out", spec.baseName, spec.mode});

    const auto results = RenameService::execute(plans);

    ASSERT_EQ(results.size(), c.destinations.size());
    for (std::size_t i = 0; i < results.size(); ++i) {
        SCOPED_TRACE("plan " + std::to_string(i));
        EXPECT_EQ(results[i].source, plans[i].source);
        EXPECT_EQ(results[i].destination, root / c.destinations[i]);
        EXPECT_EQ(readFile(results[i].destination), contentOf(c.plans[i].source));
    }
    EXPECT_EQ(names(root / "in"), c.inAfter);
    EXPECT_EQ(names(root / "out"), c.outAfter);
    for (const auto& name : c.outFiles) {
        if (fs::exists(root / ("out/" + name))) {
            EXPECT_EQ(readFile(root / ("out/" + name)), "already here: " + name);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Batches, RenameBatchTest,
    testing::Values(BatchCase{"SameBaseNameTwiceInOneBatch",
                              {"a.pdf", "b.pdf"},
                              {},
                              {{"a.pdf", "name", Mode::copy}, {"b.pdf", "name", Mode::copy}},
                              {"out/name.pdf", "out/name (2).pdf"},
                              {"a.pdf", "b.pdf"},
                              {"name.pdf", "name (2).pdf"}},
                    BatchCase{"ExistingNameInOtherCase",
                              {"a.pdf"},
                              {"NAME.PDF"},
                              {{"a.pdf", "name", Mode::copy}},
                              {"out/name (2).pdf"},
                              {"a.pdf"},
                              {"NAME.PDF", "name (2).pdf"}},
                    BatchCase{"ExistingNumberedNamesAreSkipped",
                              {"a.pdf"},
                              {"x.pdf", "X (2).pdf"},
                              {{"a.pdf", "x", Mode::move}},
                              {"out/x (3).pdf"},
                              {},
                              {"x.pdf", "X (2).pdf", "x (3).pdf"}},
                    BatchCase{"UpperCaseExtensionIsLowered",
                              {"IMG_1.JPG"},
                              {},
                              {{"IMG_1.JPG", "20240315_店_100", Mode::move}},
                              {"out/20240315_店_100.jpg"},
                              {},
                              {"20240315_店_100.jpg"}},
                    BatchCase{"RenameInPlaceKeepsItsOwnName",
                              {"name.pdf"},
                              {},
                              {{"name.pdf", "name", Mode::renameInPlace}},
                              {"in/name.pdf"},
                              {"name.pdf"},
                              {}},
                    BatchCase{"RenameInPlaceTwoFilesToOneName",
                              {"a.pdf", "b.pdf", "x.pdf"},
                              {},
                              {{"a.pdf", "x", Mode::renameInPlace}, {"b.pdf", "x", Mode::renameInPlace}},
                              {"in/x (2).pdf", "in/x (3).pdf"},
                              {"x.pdf", "x (2).pdf", "x (3).pdf"},
                              {}},
                    BatchCase{"RenameInPlaceSwapsIntoAFreedName",
                              {"a.pdf", "b.pdf"},
                              {},
                              {{"a.pdf", "c", Mode::renameInPlace}, {"b.pdf", "a", Mode::renameInPlace}},
                              {"in/c.pdf", "in/a.pdf"},
                              {"a.pdf", "c.pdf"},
                              {}},
                    BatchCase{"EmptyBaseNameFallsBackToTheSourceName",
                              {"scan 01.pdf"},
                              {},
                              {{"scan 01.pdf", "", Mode::copy}},
                              {"out/scan 01.pdf"},
                              {"scan 01.pdf"},
                              {"scan 01.pdf"}},
                    BatchCase{"SlashInABaseNameStaysInTheFolder",
                              {"a.pdf"},
                              {},
                              {{"a.pdf", "../x/y", Mode::copy}},
                              {"out/..xy.pdf"},
                              {"a.pdf"},
                              {"..xy.pdf"}},
                    BatchCase{"FileWithoutExtension",
                              {"README"},
                              {"r"},
                              {{"README", "r", Mode::copy}},
                              {"out/r (2)"},
                              {"README"},
                              {"r", "r (2)"}}),
    [](const testing::TestParamInfo<BatchCase>& info) { return info.param.name; });

TEST(RenameServiceTest, MoveIntoItsOwnFolderTakesTheNextName) {
    Folder root;
    writeFile(root / "name.pdf", "pdf");
    const std::vector<RenamePlan> plans{{root / "name.pdf", root.path(), "name", Mode::move}};
    const auto results = RenameService::execute(plans);
    EXPECT_EQ(results.at(0).destination, root / "name (2).pdf");
    EXPECT_EQ(names(root.path()), (std::set<std::string>{"name (2).pdf"}));
}

TEST(RenameServiceTest, CopyKeepsPermissionsAndModificationTime) {
    Folder root;
    writeFile(root / "a.pdf", "pdf");
    ::chmod((root / "a.pdf").c_str(), 0640);
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(24 * 30);
    fs::last_write_time(root / "a.pdf", old);
    const std::vector<RenamePlan> plans{{root / "a.pdf", root / "out", "b", Mode::copy}};
    const auto results = RenameService::execute(plans);
    EXPECT_EQ(fs::last_write_time(results.at(0).destination), old);
    EXPECT_EQ(fs::status(results.at(0).destination).permissions(), fs::status(root / "a.pdf").permissions());
}

TEST(RenameServiceTest, NamesThatAreNotUtf8SurviveByteForByte) {
    Folder root;
    const std::string latin1 = "caf\xe9.PDF";
    const std::string shiftJis = "\x82\xa0\x82\xa2";
    writeFile(root / ("in/" + latin1), "a");
    writeFile(root / "in/b.pdf", "b");
    const std::vector<RenamePlan> plans{{root / ("in/" + latin1), {}, "", Mode::renameInPlace},
                                        {root / "in/b.pdf", root / "out", shiftJis, Mode::copy},
                                        {root / "in/b.pdf", root / "out", shiftJis, Mode::copy}};
    RenameService::execute(plans);
    EXPECT_EQ(names(root / "in"), (std::set<std::string>{"caf\xe9.pdf", "b.pdf"}));
    EXPECT_EQ(names(root / "out"), (std::set<std::string>{shiftJis + ".pdf", shiftJis + " (2).pdf"}));
}

TEST(RenameServiceTest, LongNamesFitTheFileSystem) {
    Folder root;
    writeFile(root / "a.pdf", "a");
    std::string base;
    for (int i = 0; i < 120; ++i) base += "あ";  // 360 bytes
    const std::vector<RenamePlan> plans{{root / "a.pdf", root / "out", base, Mode::copy},
                                        {root / "a.pdf", root / "out", base, Mode::copy}};
    const auto results = RenameService::execute(plans);
    for (const auto& result : results) {
        const std::string name = result.destination.filename().native();
        EXPECT_LE(name.size(), 255u) << name;
        EXPECT_TRUE(name.ends_with(".pdf")) << name;
        EXPECT_EQ(readFile(result.destination), "a");
    }
    EXPECT_NE(results[0].destination, results[1].destination);
    EXPECT_TRUE(results[1].destination.filename().native().ends_with(" (2).pdf"));
}

TEST(RenameServiceTest, ASourceDeletedMidBatchStopsWithTheDoneResults) {
    Folder root;
    writeFile(root / "in/a.pdf", "a");
    writeFile(root / "in/c.pdf", "c");
    const std::vector<RenamePlan> plans{{root / "in/a.pdf", root / "out", "x", Mode::move},
                                        {root / "in/b.pdf", root / "out", "y", Mode::move},
                                        {root / "in/c.pdf", root / "out", "z", Mode::move}};
    try {
        RenameService::execute(plans);
        FAIL() << "no error";
    } catch (const RenameServiceError& error) {
        EXPECT_EQ(error.errorCase(), Case::sourceMissing);
        EXPECT_STREQ(error.what(), "元ファイルが見つかりません: b.pdf");
        ASSERT_EQ(error.completedResults().size(), 1u);
        EXPECT_EQ(error.completedResults()[0], (RenameResult{root / "in/a.pdf", root / "out/x.pdf"}));
    }
    EXPECT_EQ(names(root / "in"), (std::set<std::string>{"c.pdf"}));
    EXPECT_EQ(names(root / "out"), (std::set<std::string>{"x.pdf"}));
}

struct FailureCase {
    std::string name;
    std::function<RenamePlan(const Folder&)> plan;
    Case expected;
    std::string message;  // the start of the description
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}

class RenameFailureTest : public testing::TestWithParam<FailureCase> {};

TEST_P(RenameFailureTest, ReportsWhatWentWrong) {
    const FailureCase& c = GetParam();
    Folder root;
    writeFile(root / "a.pdf", "a");
    writeFile(root / "file", "not a folder");
    const std::vector<RenamePlan> plans{c.plan(root)};
    try {
        RenameService::execute(plans);
        FAIL() << "no error";
    } catch (const RenameServiceError& error) {
        EXPECT_EQ(error.errorCase(), c.expected);
        EXPECT_TRUE(std::string(error.what()).starts_with(c.message)) << error.what();
    }
    EXPECT_EQ(readFile(root / "a.pdf"), "a");
}

INSTANTIATE_TEST_SUITE_P(
    Failures, RenameFailureTest,
    testing::Values(FailureCase{"NoDestinationChosen",
                                [](const Folder& f) {
                                    return RenamePlan{f / "a.pdf", {}, "x", Mode::copy};
                                },
                                Case::destinationMissing, "保存先フォルダが選ばれていません"},
                    FailureCase{"DestinationBelowAFile",
                                [](const Folder& f) {
                                    return RenamePlan{f / "a.pdf", f / "file/sub", "x", Mode::move};
                                },
                                Case::folderNotCreated, "保存先フォルダを作成できません: sub（"},
                    FailureCase{"DestinationIsAFile",
                                [](const Folder& f) {
                                    return RenamePlan{f / "a.pdf", f / "file", "x", Mode::copy};
                                },
                                Case::folderNotCreated, "保存先フォルダを作成できません: file"},
                    FailureCase{"SourceIsMissing",
                                [](const Folder& f) {
                                    return RenamePlan{f / "gone.pdf", f / "out", "x", Mode::copy};
                                },
                                Case::sourceMissing, "元ファイルが見つかりません: gone.pdf"}),
    [](const testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

TEST(RenameServiceTest, ReadOnlyDestinationByPermissions) {
    if (::geteuid() == 0) GTEST_SKIP() << "running as root, where permission bits do not stop writes";
    Folder root;
    writeFile(root / "a.pdf", "a");
    fs::create_directory(root / "out");
    fs::permissions(root / "out", fs::perms::owner_read | fs::perms::owner_exec);
    const std::vector<RenamePlan> plans{{root / "a.pdf", root / "out", "x", Mode::copy}};
    EXPECT_THROW(RenameService::execute(plans), RenameServiceError);
    EXPECT_EQ(readFile(root / "a.pdf"), "a");
}

// The real calls, except that files opened for writing in `folder` fail with `error` after `allowed` bytes.
FileSystemCalls failingWrites(const fs::path& folder, int error, std::size_t allowed = 0) {
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
        if (*budget == 0) {
            errno = error;
            return -1;
        }
        const std::size_t n = std::min(size, *budget);
        *budget -= n;
        return FileSystemCalls::posix().write(fd, data, n);
    };
    return calls;
}

TEST(RenameServiceTest, ReadOnlyDestinationThroughTheCalls) {
    Folder root;
    writeFile(root / "a.pdf", "a");
    fs::create_directory(root / "out");
    FileSystemCalls calls = FileSystemCalls::posix();
    calls.open = [](const char*, int, mode_t) {
        errno = EROFS;
        return -1;
    };
    for (Mode mode : {Mode::copy, Mode::move}) {
        SCOPED_TRACE(std::string(rawValue(mode)));
        FileSystemCalls moveCalls = calls;
        // A read-only file system refuses the rename too, whichever way it is tried.
        moveCalls.renameNoReplace = [](const char*, const char*) {
            errno = EROFS;
            return -1;
        };
        const std::vector<RenamePlan> plans{{root / "a.pdf", root / "out", "x", mode}};
        try {
            RenameService::execute(plans, moveCalls);
            FAIL() << "no error";
        } catch (const RenameServiceError& error) {
            EXPECT_EQ(error.errorCase(), mode == Mode::copy ? Case::copyFailed : Case::moveFailed);
            EXPECT_EQ(error.code(), std::errc::read_only_file_system);
            EXPECT_TRUE(std::string(error.what()).ends_with("a.pdf（読み取り専用の場所です）"))
                << error.what();
        }
        EXPECT_EQ(readFile(root / "a.pdf"), "a");
        EXPECT_TRUE(names(root / "out").empty());
    }
}

TEST(RenameServiceTest, FullDiskLeavesNoPartialCopy) {
    Folder root;
    const std::string big(3 << 20, 'x');
    writeFile(root / "in/a.pdf", "a");
    writeFile(root / "in/big.pdf", big);
    const std::vector<RenamePlan> plans{{root / "in/a.pdf", root / "out", "first", Mode::copy},
                                        {root / "in/big.pdf", root / "out", "second", Mode::copy}};
    const FileSystemCalls calls = failingWrites(root / "out", ENOSPC, (1 << 20) + 100);
    try {
        RenameService::execute(plans, calls);
        FAIL() << "no error";
    } catch (const RenameServiceError& error) {
        EXPECT_EQ(error.errorCase(), Case::copyFailed);
        EXPECT_STREQ(error.what(), "ファイルをコピーできません: big.pdf（空き容量が足りません）");
        ASSERT_EQ(error.completedResults().size(), 1u);
        EXPECT_EQ(error.completedResults()[0].destination, root / "out/first.pdf");
    }
    EXPECT_EQ(names(root / "out"), (std::set<std::string>{"first.pdf"}));
    EXPECT_EQ(readFile(root / "in/big.pdf"), big);
}

// The real calls, except that moving `source` by rename reports another file system.
FileSystemCalls acrossFileSystems(const fs::path& source, FileSystemCalls calls = FileSystemCalls::posix()) {
    calls.renameNoReplace = [source](const char* from, const char* to) {
        if (fs::path(from) == source) {
            errno = EXDEV;
            return -1;
        }
        return FileSystemCalls::posix().renameNoReplace(from, to);
    };
    return calls;
}

TEST(RenameServiceTest, MoveAcrossFileSystemsCopiesThenRemoves) {
    Folder root;
    writeFile(root / "in/a.pdf", "pdf bytes");
    writeFile(root / "out/x.pdf", "other");
    const std::vector<RenamePlan> plans{{root / "in/a.pdf", root / "out", "x", Mode::move}};
    const auto results = RenameService::execute(plans, acrossFileSystems(root / "in/a.pdf"));
    EXPECT_EQ(results.at(0).destination, root / "out/x (2).pdf");
    EXPECT_EQ(readFile(root / "out/x (2).pdf"), "pdf bytes");
    EXPECT_EQ(readFile(root / "out/x.pdf"), "other");
    EXPECT_TRUE(names(root / "in").empty());
    EXPECT_EQ(names(root / "out").size(), 2u);
}

TEST(RenameServiceTest, MoveAcrossFileSystemsOntoAFullDiskKeepsTheSource) {
    Folder root;
    writeFile(root / "in/a.pdf", "pdf bytes");
    const std::vector<RenamePlan> plans{{root / "in/a.pdf", root / "out", "x", Mode::move}};
    fs::create_directory(root / "out");
    const FileSystemCalls calls =
        acrossFileSystems(root / "in/a.pdf", failingWrites(root / "out", ENOSPC, 4));
    try {
        RenameService::execute(plans, calls);
        FAIL() << "no error";
    } catch (const RenameServiceError& error) {
        EXPECT_EQ(error.errorCase(), Case::moveFailed);
        EXPECT_EQ(error.code(), std::errc::no_space_on_device);
        EXPECT_TRUE(error.completedResults().empty());
    }
    EXPECT_EQ(readFile(root / "in/a.pdf"), "pdf bytes");
    EXPECT_TRUE(names(root / "out").empty());
}

TEST(RenameServiceTest, AnOriginalThatCannotBeRemovedIsReportedWithItsCopy) {
    for (bool crossDevice : {true, false}) {
        SCOPED_TRACE(crossDevice ? "across file systems" : "by hard link");
        Folder root;
        writeFile(root / "in/a.pdf", "pdf bytes");
        FileSystemCalls calls = FileSystemCalls::posix();
        if (crossDevice) {
            calls = acrossFileSystems(root / "in/a.pdf");
        } else {
            calls.renameNoReplace = [](const char*, const char*) {
                errno = EINVAL;
                return -1;
            };
        }
        const fs::path source = root / "in/a.pdf";
        calls.unlink = [source](const char* path) {
            if (fs::path(path) != source) return FileSystemCalls::posix().unlink(path);
            errno = EACCES;
            return -1;
        };
        const std::vector<RenamePlan> plans{{source, root / "out", "x", Mode::move},
                                            {source, root / "out", "y", Mode::move}};
        try {
            RenameService::execute(plans, calls);
            FAIL() << "no error";
        } catch (const RenameServiceError& error) {
            EXPECT_EQ(error.errorCase(), Case::sourceNotRemoved);
            EXPECT_STREQ(
                error.what(),
                "移動先に保存しましたが、元ファイルを削除できません: a.pdf（アクセスが許可されていません）");
            ASSERT_EQ(error.completedResults().size(), 1u);
            EXPECT_EQ(error.completedResults()[0].destination, root / "out/x.pdf");
        }
        EXPECT_EQ(readFile(root / "out/x.pdf"), "pdf bytes");
        EXPECT_EQ(readFile(source), "pdf bytes");
        EXPECT_EQ(names(root / "out"), (std::set<std::string>{"x.pdf"}));
    }
}

TEST(RenameServiceTest, MoveAcrossARealFileSystemBoundary) {
    Folder disk;
    std::error_code ec;
    if (!fs::is_directory("/dev/shm", ec) || ::access("/dev/shm", W_OK) != 0)
        GTEST_SKIP() << "no writable /dev/shm to move across";
    Folder memory("/dev/shm");
    struct stat a {
    }, b{};
    ::stat(disk.path().c_str(), &a);
    ::stat(memory.path().c_str(), &b);
    if (a.st_dev == b.st_dev) GTEST_SKIP() << "/dev/shm is on the same file system as the temporary folder";

    writeFile(memory / "a.pdf", "pdf bytes");
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(48);
    fs::last_write_time(memory / "a.pdf", old);
    const std::vector<RenamePlan> plans{{memory / "a.pdf", disk / "out", "x", Mode::move}};
    const auto results = RenameService::execute(plans);
    EXPECT_EQ(results.at(0).destination, disk / "out/x.pdf");
    EXPECT_EQ(readFile(disk / "out/x.pdf"), "pdf bytes");
    EXPECT_EQ(fs::last_write_time(disk / "out/x.pdf"), old);
    EXPECT_TRUE(names(memory.path()).empty());
    EXPECT_EQ(names(disk / "out"), (std::set<std::string>{"x.pdf"}));
}

// `calls`, except that another program creates the first target name right before it is taken.
FileSystemCalls intruder(FileSystemCalls calls = FileSystemCalls::posix()) {
    auto done = std::make_shared<bool>(false);
    auto claim = [done](const char* to) {
        if (!std::exchange(*done, true)) writeFile(to, "intruder");
    };
    auto renameNoReplace = calls.renameNoReplace;
    calls.renameNoReplace = [claim, renameNoReplace](const char* from, const char* to) {
        claim(to);
        return renameNoReplace(from, to);
    };
    auto link = calls.link;
    calls.link = [claim, link](const char* from, const char* to) {
        claim(to);
        return link(from, to);
    };
    return calls;
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
    Folder root;
    writeFile(root / "in/a.pdf", "ours");
    FileSystemCalls calls = FileSystemCalls::posix();
    if (c.noReplaceUnsupported)
        calls.renameNoReplace = [](const char*, const char*) {
            errno = EINVAL;
            return -1;
        };
    if (c.hardLinksUnsupported)
        calls.link = [](const char*, const char*) {
            errno = EPERM;
            return -1;
        };
    const fs::path folder = c.mode == Mode::renameInPlace ? root / "in" : root / "out";
    const std::vector<RenamePlan> plans{{root / "in/a.pdf", root / "out", "x", c.mode}};
    const auto results = RenameService::execute(plans, intruder(calls));
    EXPECT_EQ(results.at(0).destination, folder / "x (2).pdf");
    EXPECT_EQ(readFile(folder / "x.pdf"), "intruder");
    EXPECT_EQ(readFile(folder / "x (2).pdf"), "ours");
    EXPECT_EQ(fs::exists(root / "in/a.pdf"), c.mode == Mode::copy);
    for (const auto& name : names(folder)) EXPECT_FALSE(name.starts_with(".")) << "left behind: " << name;
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
