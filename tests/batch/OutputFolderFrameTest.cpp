#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "batch/OutputFolderFrame.h"
#include "batch/PowerPointFactory.h"
#include "settings/SettingsStore.h"
#include "support/FakeDialogs.h"

using namespace trelwick;
using trelwick::testing::FakeDialogs;

class OutputFolderFrameTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString file() const { return dir.path() + "/Trelwick.conf"; }
    QString blockedFile() {
        QFile blocker(dir.path() + "/blocker");
        blocker.open(QIODevice::WriteOnly);
        return dir.path() + "/blocker/Trelwick.conf";
    }

  private slots:
    void init() { QFile::remove(file()); }

    void layoutAndCaptions() {
        SettingsStore store(file());
        FakeDialogs dialogs;
        OutputFolderFrame frame(store, dialogs);
        QCOMPARE(frame.objectName(), "Frame3");
        QCOMPARE(frame.title(), "Save Results To This Folder");
        QCOMPARE(frame.geometry(), QRect(8, 420, 520, 53));
        QCOMPARE(frame.Text6->geometry(), QRect(16, 20, 440, 23));
        QCOMPARE(frame.PushButton5->geometry(), QRect(464, 20, 40, 23));
        QCOMPARE(frame.PushButton5->text(), "...");
        QVERIFY(!QFile::exists(file()));  // nothing is stored before a change
    }

    void pickingFolders_data() {
        QTest::addColumn<QString>("lastFolderDot");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("expectedText6");
        QTest::addColumn<QString>("expectedLast");
        QTest::newRow("folder gets a separator") << ""
                                                 << "/data/out"
                                                 << "/data/out/"
                                                 << "/data/out";
        QTest::newRow("root keeps its one separator") << "/data"
                                                      << "/"
                                                      << "/"
                                                      << "/";
        QTest::newRow("cancel changes nothing") << "/data"
                                                << ""
                                                << "/start/"
                                                << "/data";
    }

    void pickingFolders() {
        QFETCH(QString, lastFolderDot);
        QFETCH(QString, answer);
        QFETCH(QString, expectedText6);
        QFETCH(QString, expectedLast);
        SettingsStore store(file());
        if (!lastFolderDot.isEmpty()) store.write("LastFolderDot", lastFolderDot);
        FakeDialogs dialogs;
        OutputFolderFrame frame(store, dialogs);
        frame.setOutputFolder("/start/");
        dialogs.folderAnswers.push_back(answer);

        QTest::mouseClick(frame.PushButton5, Qt::LeftButton);

        const auto pickers = dialogs.callsOf(FakeDialogs::Kind::BrowseForFolder);
        QCOMPARE(pickers.size(), size_t(1));
        QCOMPARE(pickers[0].title, "Please select folder:");
        QCOMPARE(pickers[0].defaultText, lastFolderDot);
        QCOMPARE(pickers[0].owner, frame.window());
        QCOMPARE(frame.outputFolder(), expectedText6);
        QCOMPARE(store.read("Text6", "absent"), expectedText6);
        QCOMPARE(store.read("LastFolderDot", ""), expectedLast);
        QVERIFY(dialogs.errorReports().empty());
    }

    void nextPressOpensAtTheLastChoice() {
        SettingsStore store(file());
        FakeDialogs dialogs;
        OutputFolderFrame frame(store, dialogs);
        dialogs.folderAnswers = {"/data/out", ""};
        frame.PushButton5_Click();
        frame.PushButton5_Click();
        const auto pickers = dialogs.callsOf(FakeDialogs::Kind::BrowseForFolder);
        QCOMPARE(pickers.size(), size_t(2));
        QCOMPARE(pickers[1].defaultText, "/data/out");
        QCOMPARE(frame.outputFolder(), "/data/out/");
    }

    void typingStoresEveryIntermediateText() {
        SettingsStore store(file());
        FakeDialogs dialogs;
        OutputFolderFrame frame(store, dialogs);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        frame.Text6->setFocus();
        QStringList seen;
        for (const char* key : {"/", "t", "m", "p"}) {
            QTest::keyClicks(frame.Text6, key);
            seen << store.read("Text6", "absent");
        }
        QCOMPARE(seen, QStringList({"/", "/t", "/tm", "/tmp"}));
    }

    void refusedStoreIsReportedAtItsSteps() {
        SettingsStore store(blockedFile());
        FakeDialogs dialogs;
        OutputFolderFrame frame(store, dialogs);
        dialogs.folderAnswers.push_back("/data/out");
        frame.PushButton5_Click();
        const auto reports = dialogs.errorReports();
        QCOMPARE(reports.size(), size_t(2));
        QVERIFY(reports[0].text.contains("\r\nin Dunmere2021/08/31.Form1.PushButton5_Click at line 104\r\r"));
        QVERIFY(reports[1].text.contains("\r\nin Dunmere2021/08/31.Form1.PushButton5_Click at line 106\r\r"));
        QCOMPARE(frame.outputFolder(), "/data/out/");  // shown, though not remembered
    }

    void failingPickerIsReportedAtStep100AndChangesNothing() {
        SettingsStore store(file());
        FakeDialogs dialogs;
        OutputFolderFrame frame(store, dialogs);
        dialogs.failNext.emplace(FakeDialogs::Kind::BrowseForFolder, AppError(5, "Invalid procedure call"));
        frame.PushButton5_Click();
        const auto reports = dialogs.errorReports();
        QCOMPARE(reports.size(), size_t(1));
        QCOMPARE(reports[0].text,
                 "Invalid procedure call\r\nin Dunmere2021/08/31.Form1.PushButton5_Click at line 100"
                 "\r\rPlease email screenshot of this message to support@example.com");
        QCOMPARE(frame.outputFolder(), "");
        QVERIFY(!QFile::exists(file()));
    }

    void factoryCreatesThroughItsFunction() {
        int made = 0;
        FunctionPowerPointFactory working([&] {
            ++made;
            return std::make_unique<PowerPointApplication>();
        });
        QVERIFY(working.CreateObject() != nullptr);
        QCOMPARE(made, 1);
        FunctionPowerPointFactory absent(nullptr);
        QVERIFY(absent.CreateObject() == nullptr);
    }
};

QTEST_MAIN(OutputFolderFrameTest)
#include "OutputFolderFrameTest.moc"
