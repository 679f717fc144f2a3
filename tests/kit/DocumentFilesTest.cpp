#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "KitFixtures.h"
#include "TavoriKit/reading/DocumentFiles.h"

namespace tavori {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> names(const std::vector<fs::path>& paths) {
    std::vector<std::string> out;
    for (const auto& p : paths) out.push_back(p.filename().native());
    return out;
}

TEST(DocumentFiles, FolderGivesItsDirectSupportedNonHiddenFilesInCodePointOrder) {
    const test::TempDir dir;
    const fs::path folder = dir / "in";
    fs::create_directories(folder / "sub");
    for (const char* name : {"b.pdf", "B.png", "10.pdf", "2.pdf", "a.txt", ".hidden.pdf", "領収書.jpg",
                             "é.pdf", "sub/inner.pdf"})
        test::writeFile(folder / name, "x");
    fs::create_directories(folder / "folder.pdf");  // a folder is no document, whatever its name

    const std::vector<fs::path> expanded = DocumentFiles::expand(std::vector<fs::path>{folder});
    // Upper case before lower case, "10" before "2", non-ASCII after ASCII.
    EXPECT_EQ(names(expanded),
              (std::vector<std::string>{"10.pdf", "2.pdf", "B.png", "b.pdf", "é.pdf", "領収書.jpg"}));
    for (const auto& path : expanded) EXPECT_EQ(path.parent_path(), folder) << path;
}

TEST(DocumentFiles, FilesPassThroughUnchangedInTheGivenOrder) {
    const test::TempDir dir;
    fs::create_directories(dir / "f");
    test::writeFile(dir / "f/z.pdf", "x");
    test::writeFile(dir / "f/a.pdf", "x");
    const std::vector<fs::path> input{dir / "notes.txt", dir / "f", dir / "missing.pdf", dir / "f"};
    const std::vector<fs::path> expected{dir / "notes.txt",   dir / "f/a.pdf", dir / "f/z.pdf",
                                         dir / "missing.pdf", dir / "f/a.pdf", dir / "f/z.pdf"};
    EXPECT_EQ(DocumentFiles::expand(input), expected);
}

TEST(DocumentFiles, UnlistableFolderGivesNothing) {
    if (::geteuid() == 0) GTEST_SKIP() << "root lists any folder";
    const test::TempDir dir;
    const fs::path locked = dir / "locked";
    fs::create_directories(locked);
    test::writeFile(locked / "a.pdf", "x");
    fs::permissions(locked, fs::perms::none);
    const auto expanded = DocumentFiles::expand(std::vector<fs::path>{locked, dir / "after.pdf"});
    fs::permissions(locked, fs::perms::owner_all);
    EXPECT_EQ(expanded, (std::vector<fs::path>{dir / "after.pdf"}));
}

}  // namespace
}  // namespace tavori
