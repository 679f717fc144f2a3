#include <QMimeData>
#include <QtTest>

#include "TavoriName/DocumentTableModel.h"
#include "TavoriName/FileDrop.h"
#include "TavoriName/QtDesktopServices.h"
#include "TavoriName/StatusBadge.h"
#include "TavoriName/UpdaterBridge.h"
#include "tests/window/WindowTestSupport.h"

using namespace tavori;
namespace fs = std::filesystem;

namespace {

const std::string validKey = "MCowBQYDK2VwAyEAq83vZ8TlV7Q3n2J1rX0pWfH5o1c=";  // 44 characters

ReceiptFields confidentFields() {
    ReceiptFields fields;
    fields.date = DateComponentsValue{2024, 3, 15};
    fields.vendor = "さくら文具店";
    fields.amount = 990;
    fields.confidence = {
        FieldConfidence::Level::high, FieldConfidence::Level::high, FieldConfidence::Level::high, {}};
    return fields;
}

enum class Step { start, finish, finishDoubtful, fail, confirm, edit, save };

// One transition, as the app model makes it.
void apply(DocumentItem& item, Step step) {
    PipelineResult result;
    switch (step) {
        case Step::start:
            item.beginAnalysis();
            break;
        case Step::finish:
            result.fields = confidentFields();
            item.finishAnalysis(result);
            break;
        case Step::finishDoubtful:
            result.fields = confidentFields();
            result.fields.amount.reset();
            result.fields.confidence.amount = FieldConfidence::Level::missing;
            item.finishAnalysis(result);
            break;
        case Step::fail:
            item.failAnalysis("ファイルを読み取れませんでした");
            break;
        case Step::confirm:
            item.confirm();
            break;
        case Step::edit:
            item.markEdited(DocumentItem::Field::vendor);
            break;
        case Step::save:
            item.markSaved("/tmp/out/20240315_さくら文具店_990.pdf");
            break;
    }
}

}  // namespace

Q_DECLARE_METATYPE(std::vector<Step>)

class WindowPartsTest : public QObject {
    Q_OBJECT

  private slots:
    void badgePerStatus_data() {
        QTest::addColumn<std::vector<Step>>("steps");
        QTest::addColumn<int>("symbol");  // -1: the progress indicator
        QTest::addColumn<QColor>("color");
        QTest::addColumn<QString>("toolTip");
        QTest::newRow("queued") << std::vector<Step>{} << int(Symbol::clock) << Icons::secondary()
                                << QStringLiteral("読み取り待ち");
        QTest::newRow("analysing") << std::vector<Step>{Step::start} << -1 << Icons::secondary()
                                   << QStringLiteral("読み取り中");
        QTest::newRow("ready, confident")
            << std::vector<Step>{Step::start, Step::finish} << int(Symbol::checkmarkCircle) << Icons::green
            << QStringLiteral("読み取り結果に自信あり。保存できます");
        QTest::newRow("ready, doubtful") << std::vector<Step>{Step::start, Step::finishDoubtful}
                                         << int(Symbol::exclamationmarkTriangleFill) << Icons::orange
                                         << QStringLiteral("要確認\n金額: 書類から見つかりませんでした");
        QTest::newRow("ready, doubtful, confirmed")
            << std::vector<Step>{Step::start, Step::finishDoubtful, Step::confirm}
            << int(Symbol::checkmarkCircle) << Icons::green << QStringLiteral("確認済み。保存できます");
        QTest::newRow("ready, doubtful, corrected")
            << std::vector<Step>{Step::start, Step::finishDoubtful, Step::edit}
            << int(Symbol::checkmarkCircle) << Icons::green << QStringLiteral("手で修正済み。保存できます");
        QTest::newRow("ready, corrected and confirmed")
            << std::vector<Step>{Step::start, Step::finish, Step::confirm, Step::edit}
            << int(Symbol::checkmarkCircle) << Icons::green << QStringLiteral("手で修正済み。保存できます");
        QTest::newRow("saved") << std::vector<Step>{Step::start, Step::finish, Step::save}
                               << int(Symbol::checkmarkCircleFill) << Icons::green
                               << QStringLiteral("保存済み");
        QTest::newRow("failed") << std::vector<Step>{Step::start, Step::fail} << int(Symbol::xmarkOctagonFill)
                                << Icons::red << QStringLiteral("ファイルを読み取れませんでした");
    }

    void badgePerStatus() {
        QFETCH(std::vector<Step>, steps);
        QFETCH(int, symbol);
        QFETCH(QColor, color);
        QFETCH(QString, toolTip);
        DocumentItem item(fs::path("/tmp/a.pdf"));
        for (Step step : steps) apply(item, step);
        const StatusBadge badge = StatusBadge::forItem(item);
        QCOMPARE(badge.symbol ? int(*badge.symbol) : -1, symbol);
        QCOMPARE(badge.color, color);
        if (toolTip.startsWith(QStringLiteral("要確認")))
            QVERIFY2(badge.toolTip.startsWith(QStringLiteral("要確認\n")) &&
                         badge.toolTip.contains(QStringLiteral("金額")),
                     qPrintable(badge.toolTip));
        else
            QCOMPARE(badge.toolTip, toolTip);
    }

    void cellTexts() {
        ReceiptFields fields;
        QCOMPARE(DocumentTableModel::dateText(fields), QStringLiteral("—"));
        QCOMPARE(DocumentTableModel::vendorText(fields), QStringLiteral("—"));
        QCOMPARE(DocumentTableModel::amountText(fields), QStringLiteral("—"));
        fields = confidentFields();
        fields.date = DateComponentsValue{2024, 1, 5};
        fields.amount = 1234567;
        QCOMPARE(DocumentTableModel::dateText(fields), QStringLiteral("2024/01/05"));
        QCOMPARE(DocumentTableModel::amountText(fields), QStringLiteral("¥1,234,567"));
        fields.amount = 0;
        QCOMPARE(DocumentTableModel::amountText(fields), QStringLiteral("¥0"));
    }

    void newNameCell() {
        AppSettings settings;
        DocumentItem item(fs::path("/tmp/SCAN.JPEG"));
        item.beginAnalysis();
        PipelineResult result;
        result.fields = confidentFields();
        item.finishAnalysis(result);
        QCOMPARE(DocumentTableModel::newNameText(item, settings),
                 QStringLiteral("20240315_さくら文具店_990.jpeg"));
        // A template that renders nothing shows the name the save falls back to, not a hidden ".jpeg".
        settings.nameTemplate.templateText = "{seq}";
        QCOMPARE(DocumentTableModel::newNameText(item, settings), QStringLiteral("SCAN.jpeg"));
        item.markSaved("/tmp/out/20240315_さくら文具店_990 (2).jpeg");
        QCOMPARE(DocumentTableModel::newNameText(item, settings),
                 QStringLiteral("20240315_さくら文具店_990 (2).jpeg"));
    }

    void uriListDecoding_data() {
        QTest::addColumn<QByteArray>("list");
        QTest::addColumn<QList<QByteArray>>("paths");
        QTest::newRow("order kept") << QByteArray("file:///b/2.pdf\r\nfile:///a/1.pdf\r\n")
                                    << QList<QByteArray>{"/b/2.pdf", "/a/1.pdf"};
        QTest::newRow("comments and blank lines")
            << QByteArray("# copied\r\n\r\nfile:///x.pdf\n") << QList<QByteArray>{"/x.pdf"};
        QTest::newRow("localhost") << QByteArray("file://localhost/x.pdf") << QList<QByteArray>{"/x.pdf"};
        QTest::newRow("other host and schemes")
            << QByteArray("file://server/x.pdf\r\nhttps://example.com/y.pdf\r\nsmb://s/z.pdf\r\n")
            << QList<QByteArray>{};
        QTest::newRow("percent-encoded UTF-8")
            << QByteArray("file:///tmp/%E9%A0%98%E5%8F%8E%E6%9B%B8%20%231.pdf")
            << QList<QByteArray>{"/tmp/領収書 #1.pdf"};
        QTest::newRow("bytes that are not UTF-8")
            << QByteArray("file:///tmp/%FF%FE.pdf") << QList<QByteArray>{"/tmp/\xff\xfe.pdf"};
        QTest::newRow("NUL refused") << QByteArray("file:///tmp/a%00b.pdf") << QList<QByteArray>{};
        QTest::newRow("relative refused") << QByteArray("file:a.pdf") << QList<QByteArray>{};
    }

    void uriListDecoding() {
        QFETCH(QByteArray, list);
        QFETCH(QList<QByteArray>, paths);
        QMimeData data;
        data.setData(QStringLiteral("text/uri-list"), list);
        const auto files = FileDrop::files(data);
        QVERIFY(files.has_value());
        QList<QByteArray> got;
        for (const auto& file : *files) got << QByteArray::fromStdString(file.native());
        QCOMPARE(got, paths);
    }

    void dropWithoutUrlsIsRefused() {
        QMimeData text;
        text.setText(QStringLiteral("file:///tmp/a.pdf"));
        QVERIFY(!FileDrop::canAccept(text));
        QVERIFY(!FileDrop::files(text).has_value());
        QMimeData onlyComments;
        onlyComments.setData(QStringLiteral("text/uri-list"), "# nothing here\r\n\r\n");
        QVERIFY(!FileDrop::files(onlyComments).has_value());
    }

    void fileUriRoundTrip() {
        for (const std::string name : {"/tmp/領収書 #1%.pdf", "/tmp/\xff\x80 a.pdf", "/tmp/a?b.pdf"}) {
            QMimeData data;
            data.setData(QStringLiteral("text/uri-list"), QtDesktopServices::fileUri(name).toLatin1());
            const auto files = FileDrop::files(data);
            QVERIFY(files && files->size() == 1);
            QCOMPARE(QByteArray::fromStdString(files->front().native()), QByteArray::fromStdString(name));
        }
    }

    void updateGate_data() {
        QTest::addColumn<QString>("feed");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("configured");
        const QString key = QString::fromStdString(validKey);
        QTest::newRow("https feed and key") << "https://example.com/appcast.xml" << key << true;
        QTest::newRow("no feed") << "" << key << false;
        QTest::newRow("plain http") << "http://example.com/appcast.xml" << key << false;
        QTest::newRow("no key") << "https://example.com/appcast.xml"
                                << "" << false;
        QTest::newRow("key of 43") << "https://example.com/appcast.xml" << key.left(43) << false;
        QTest::newRow("key of 45") << "https://example.com/appcast.xml" << key + "A" << false;
        QTest::newRow("placeholder key")
            << "https://example.com/appcast.xml" << ("REPLACE" + key.mid(7)) << false;
    }

    void updateGate() {
        QFETCH(QString, feed);
        QFETCH(QString, key);
        QFETCH(bool, configured);
        const UpdaterBridge bridge(feed.toStdString(), key.toStdString());
        QCOMPARE(bridge.controller() != nullptr, configured);
        QCOMPARE(UpdaterBridge::isConfigured(feed.toStdString(), key.toStdString()), configured);
    }

    void failuresToOpenAFolderOrThePageAreShown() {
        // Neither a file manager on the session bus nor a program to open folders and pages with.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", "/nonexistent");
        QtDesktopServices desktop;
        std::vector<std::string> reported;
        desktop.reportFailure = [&](std::string message) { reported.push_back(std::move(message)); };
        desktop.revealInFileManager("/tmp/保存先/a.pdf");
        QTRY_COMPARE(reported.size(), std::size_t{1});
        QCOMPARE(
            QString::fromStdString(reported[0]),
            QStringLiteral("フォルダを開けませんでした（ファイルマネージャが見つかりません）: /tmp/保存先"));

        test::WindowFixture f;
        f.app().openSupportPage();
        QVERIFY(f.model().alertMessage().has_value());
        QVERIFY2(f.model().alertMessage()->starts_with("サポートページを開けませんでした"),
                 f.model().alertMessage()->c_str());
        qputenv("PATH", path);
    }

    void buildWithoutUpdateConfigurationHasNoController() {
        const UpdaterBridge bridge;
        QVERIFY(bridge.controller() == nullptr);
        bridge.checkForUpdates();  // does nothing, and must not crash
    }
};

QTEST_MAIN(WindowPartsTest)
#include "WindowPartsTest.moc"
