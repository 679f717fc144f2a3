#include "TavoriName/DocumentPreview.h"

#include <QAction>
#include <QPdfView>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>
#include <QToolButton>

#include <gtest/gtest.h>

#include "DocumentFixtures.h"
#include "TavoriName/ZoomBar.h"
#include "tests/TestFiles.h"

namespace tavori {
namespace {

using test::TestFolder;

class DocumentPreviewTest : public ::testing::Test {
  protected:
    DocumentPreviewTest() {
        preview.resize(600, 800);
        preview.show();
    }

    // Loads `path` and waits for it and the command applied after it.
    bool load(const std::filesystem::path& path) {
        QSignalSpy finished(&preview, &DocumentPreview::loadFinished);
        QSignalSpy applied(&preview, &DocumentPreview::zoomApplied);
        preview.setFile(path);
        if (!finished.wait(10000)) return false;
        const bool shown = finished.front().front().toBool();
        if (shown && applied.isEmpty()) applied.wait(2000);
        return shown;
    }

    // Gives a command and lets the event loop apply it; false when nothing was applied.
    bool zoom(PreviewZoom command) {
        QSignalSpy applied(&preview, &DocumentPreview::zoomApplied);
        preview.zoom(command);
        QCoreApplication::processEvents();  // a command is applied on the next turn of the loop
        return !applied.isEmpty();
    }

    // Lets every load that was started finish and hand its document over.
    static void settle() {
        ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(10000));
        QCoreApplication::processEvents();
    }

    double fitPageScale() const {
        return PreviewScale::fitPage(preview.viewSize(), preview.pageSizeAtUnitScale());
    }

    TestFolder folder;
    DocumentPreview preview;
};

// The scale each command gives is PreviewScale's; here, that each command reaches the view once.
TEST_F(DocumentPreviewTest, APdfOpensFittedToItsPageAndEachCommandReachesTheView) {
    test::writePdf(folder / "Scan.PDF", {595, 842}, 2);
    ASSERT_TRUE(load(folder / "Scan.PDF"));
    EXPECT_EQ(preview.pageCount(), 2);
    const double fit = fitPageScale();
    EXPECT_NEAR(preview.scale(), fit, 1e-9);
    EXPECT_LT(fit, 1.0);

    ASSERT_TRUE(zoom(PreviewZoom::in));
    EXPECT_NEAR(preview.scale(), fit * 1.25, 1e-9);
    ASSERT_TRUE(zoom(PreviewZoom::out));
    EXPECT_NEAR(preview.scale(), fit, 1e-9);
    ASSERT_TRUE(zoom(PreviewZoom::in));
    ASSERT_TRUE(zoom(PreviewZoom::fitPage));
    EXPECT_NEAR(preview.scale(), fit, 1e-9);
    // Fitting again changes nothing: the fit was the last command applied.
    preview.pdfView()->setZoomFactor(0.5);
    EXPECT_FALSE(zoom(PreviewZoom::fitPage));
    EXPECT_EQ(preview.scale(), 0.5);
}

TEST_F(DocumentPreviewTest, ImagesAreShownAsOnePageWithTheirProportions) {
    for (const char* name : {"receipt.jpg", "receipt.png"}) {
        SCOPED_TRACE(name);
        test::writeImage(folder / name, {600, 900});
        ASSERT_TRUE(load(folder / name));
        EXPECT_EQ(preview.pageCount(), 1);
        const auto page = preview.pageSizeAtUnitScale();
        EXPECT_NEAR(page.height / page.width, 1.5, 0.01);
        EXPECT_NEAR(preview.scale(), fitPageScale(), 1e-9);
    }
}

TEST_F(DocumentPreviewTest, AFileThatCannotBeShownLeavesThePreviewEmpty) {
    test::writePdf(folder / "good.pdf");
    test::writeFile(folder / "broken.pdf", "%PDF-1.4 this is not a document");
    test::writeFile(folder / "broken.png", "not an image at all");
    test::writeFile(folder / "notes.txt", "text");
    for (const char* name : {"broken.pdf", "broken.png", "notes.txt", "missing.jpg"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(load(folder / "good.pdf"));
        EXPECT_FALSE(load(folder / name));
        EXPECT_FALSE(preview.hasDocument());
        EXPECT_EQ(preview.pdfView()->document(), nullptr);
        // The good file is loaded again next time round.
        preview.setFile(folder / "other-name-to-reset");
        QSignalSpy(&preview, &DocumentPreview::loadFinished).wait(10000);
    }
}

TEST_F(DocumentPreviewTest, TheSameFileKeepsItsScaleAndANewFileGetsTheCurrentFit) {
    test::writePdf(folder / "a.pdf", {595, 842});
    test::writePdf(folder / "b.pdf", {300, 300});
    ASSERT_TRUE(load(folder / "a.pdf"));
    ASSERT_TRUE(zoom(PreviewZoom::in));
    const double zoomed = preview.scale();
    QSignalSpy finished(&preview, &DocumentPreview::loadFinished);
    preview.setFile(folder / "a.pdf");
    settle();
    EXPECT_TRUE(finished.isEmpty());
    EXPECT_EQ(preview.scale(), zoomed);

    ASSERT_TRUE(zoom(PreviewZoom::fitWidth));
    ASSERT_TRUE(load(folder / "b.pdf"));
    EXPECT_NEAR(preview.scale(), preview.viewSize().width / preview.pageSizeAtUnitScale().width, 1e-9);
}

TEST_F(DocumentPreviewTest, OnlyTheLastOfQuickSuccessiveFilesIsShown) {
    test::writePdf(folder / "first.pdf", {595, 842});
    test::writeImage(folder / "second.png", {400, 400});
    QSignalSpy finished(&preview, &DocumentPreview::loadFinished);
    preview.setFile(folder / "first.pdf");
    preview.setFile(folder / "second.png");
    ASSERT_TRUE(finished.wait(10000));
    settle();
    EXPECT_EQ(finished.count(), 1);
    const auto page = preview.pageSizeAtUnitScale();
    EXPECT_NEAR(page.width, page.height, 1e-6);
}

TEST(ZoomBarTest, ButtonsShortcutsAndTooltipsInOrder) {
    QWidget host;
    host.resize(400, 300);
    ZoomBar bar(&host);
    host.show();
    struct Expected {
        PreviewZoom zoom;
        QKeySequence shortcut;
        const char* toolTip;
    };
    const Expected expected[] = {
        {PreviewZoom::out, QKeySequence(QStringLiteral("Ctrl+-")), "縮小 (Ctrl+-)"},
        {PreviewZoom::fitPage, QKeySequence(QStringLiteral("Ctrl+0")), "全体を表示 (Ctrl+0)"},
        {PreviewZoom::fitWidth, QKeySequence(QStringLiteral("Ctrl+1")), "幅に合わせる (Ctrl+1)"},
        {PreviewZoom::in, QKeySequence(QStringLiteral("Ctrl+=")), "拡大 (Ctrl++)"},
    };
    int previousX = -1;
    QSignalSpy requested(&bar, &ZoomBar::zoomRequested);
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.toolTip);
        EXPECT_EQ(bar.action(e.zoom)->toolTip(), QString::fromUtf8(e.toolTip));
        EXPECT_EQ(bar.action(e.zoom)->shortcut(), e.shortcut);
        EXPECT_GT(bar.button(e.zoom)->x(), previousX);
        previousX = bar.button(e.zoom)->x();
        bar.button(e.zoom)->click();
        ASSERT_FALSE(requested.isEmpty());
        EXPECT_EQ(requested.takeLast().front().value<PreviewZoom>(), e.zoom);
    }
    // Laid over the bottom-right corner, 8 pixels in.
    EXPECT_EQ(bar.geometry().right(), host.width() - 1 - ZoomBar::inset);
    EXPECT_EQ(bar.geometry().bottom(), host.height() - 1 - ZoomBar::inset);
}

}  // namespace
}  // namespace tavori
