#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QSettings>
#include <QTabBar>
#include <QTemporaryDir>
#include <QtTest>

#include "options/OptionsPanel.h"
#include "settings/SettingsStore.h"
#include "support/FakeDialogs.h"
#include "util/ErrorReport.h"

using namespace trelwick;
using trelwick::testing::FakeDialogs;

namespace {

const QString kLoadTag = QStringLiteral("Dunmere2021/08/31.Form1.Form_Load");

QStringList storedKeys(const QString& file) {
    QStringList keys = QSettings(file, QSettings::NativeFormat).allKeys();
    keys.sort();
    return keys;
}

QList<int> reportedSteps(const FakeDialogs& dialogs) {
    QList<int> steps;
    for (const auto& call : dialogs.errorReports()) {
        const QRegularExpressionMatch m = QRegularExpression("at line (\\d+)\\r\\r").match(call.text);
        steps.append(m.captured(1).toInt());
    }
    return steps;
}

}  // namespace

class OptionsPanelTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString file() const { return dir.path() + "/Trelwick.conf"; }

    void restoreInto(OptionsPanel& panel, FakeDialogs& dialogs) {
        ErrorReport report(dialogs, kLoadTag);
        panel.restore(report, [] { return QStringLiteral("07/12/2026"); });
    }

  private slots:
    void init() { QFile::remove(file()); }

    void firstRestoreOnEmptyStore() {
        SettingsStore store(file());
        FakeDialogs dialogs;
        OptionsPanel panel(store, dialogs);
        restoreInto(panel, dialogs);

        QCOMPARE(panel.Text1->text(), "07/12/2026");
        QCOMPARE(panel.Text3->text(), "07/12/2026");
        QCOMPARE(panel.Text2->text(), "");
        for (QCheckBox* on : {panel.Check8, panel.Check9, panel.Check11, panel.Check12, panel.Check13})
            QCOMPARE(OptionsPanel::stateOf(on), 1);
        QCOMPARE(OptionsPanel::stateOf(panel.Check4), 0);
        QCOMPARE(OptionsPanel::stateOf(panel.Check10), 0);
        for (QLineEdit* field : {panel.Text1, panel.Text2, panel.Text3, panel.Text4, panel.Text5})
            QVERIFY(field->isEnabled());

        QCOMPARE(storedKeys(file()),
                 QStringList({"Notes Date", "Notes Date Checkbox", "Notes Footer Checkbox",
                              "Notes Header Checkbox", "Slide Date", "Slide Date Checkbox",
                              "Slide Footer Checkbox"}));
        QCOMPARE(store.read("Slide Date", "x"), "07/12/2026");
        QCOMPARE(store.read("Notes Footer Checkbox", "x"), "1");
        QVERIFY(dialogs.calls.empty());
    }

    void restoreFromAChangedStore() {
        SettingsStore store(file());
        store.write("Slide Date", "");             // cleared once: stays empty
        store.write("Notes Date", "Spring term");  // any text, never parsed
        store.write("Slide Footer", "Varnix, internal");
        store.write("Slide Number", "1.0");
        store.write("Page Number", " 1");
        store.write("Notes Header Checkbox", "0");
        store.write("Slide Footer Checkbox", "2");
        store.write("Notes Footer Checkbox", "yes");
        FakeDialogs dialogs;
        OptionsPanel panel(store, dialogs);
        restoreInto(panel, dialogs);

        QCOMPARE(panel.Text1->text(), "");
        QCOMPARE(panel.Text3->text(), "Spring term");
        QCOMPARE(panel.Text2->text(), "Varnix, internal");
        QCOMPARE(OptionsPanel::stateOf(panel.Check4), 1);
        QCOMPARE(OptionsPanel::stateOf(panel.Check10), 1);
        QCOMPARE(OptionsPanel::stateOf(panel.Check12), 0);
        QVERIFY(!panel.Text4->isEnabled());  // although the box never changed during the restore
        QCOMPARE(OptionsPanel::stateOf(panel.Check9), 0);
        QVERIFY(!panel.Text2->isEnabled());
        QCOMPARE(OptionsPanel::stateOf(panel.Check13), 0);
        QVERIFY(panel.Text1->isEnabled());
        // The enabling handlers rewrite their keys in the canonical form.
        QCOMPARE(store.read("Slide Footer Checkbox", "x"), "0");
        QCOMPARE(store.read("Notes Footer Checkbox", "x"), "0");
        QCOMPARE(store.read("Slide Number", "x"), "1");  // the click raised by the restore rewrites it
        QCOMPARE(store.read("Slide Date", "x"), "");
        QVERIFY(dialogs.calls.empty());
    }

    void enablingRulesFollowClicks_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("tab");
        QTest::newRow("slide date") << "Check8"
                                    << "Text1"
                                    << "Slide Date Checkbox" << 0;
        QTest::newRow("slide footer") << "Check9"
                                      << "Text2"
                                      << "Slide Footer Checkbox" << 0;
        QTest::newRow("notes date") << "Check11"
                                    << "Text3"
                                    << "Notes Date Checkbox" << 1;
        QTest::newRow("notes header") << "Check12"
                                      << "Text4"
                                      << "Notes Header Checkbox" << 1;
        QTest::newRow("notes footer") << "Check13"
                                      << "Text5"
                                      << "Notes Footer Checkbox" << 1;
    }

    void enablingRulesFollowClicks() {
        QFETCH(QString, box);
        QFETCH(QString, field);
        QFETCH(QString, key);
        QFETCH(int, tab);
        SettingsStore store(file());
        FakeDialogs dialogs;
        OptionsPanel panel(store, dialogs);
        restoreInto(panel, dialogs);
        panel.tabBar->setCurrentIndex(tab);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        auto* check = panel.findChild<QCheckBox*>(box);
        auto* text = panel.findChild<QLineEdit*>(field);
        text->setText("kept text");

        QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(5, check->height() / 2));
        QVERIFY(!text->isEnabled());
        QCOMPARE(text->text(), "kept text");
        QCOMPARE(store.read(key, "x"), "0");
        QCOMPARE(panel.findChild<QCheckBox*>(box)->isChecked(), false);

        check->setFocus();
        QTest::keyClick(check, Qt::Key_Space);
        QVERIFY(text->isEnabled());
        QCOMPARE(store.read(key, "x"), "1");
        QVERIFY(dialogs.calls.empty());
    }

    void standAloneBoxesOnlyStore() {
        SettingsStore store(file());
        FakeDialogs dialogs;
        OptionsPanel panel(store, dialogs);
        restoreInto(panel, dialogs);
        panel.Check4->setChecked(true);
        QCOMPARE(store.read("Slide Number", "x"), "1");
        panel.Check10->setChecked(true);
        QCOMPARE(store.read("Page Number", "x"), "1");
        panel.Check10->setChecked(false);
        QCOMPARE(store.read("Page Number", "x"), "0");
        for (QLineEdit* field : {panel.Text1, panel.Text2, panel.Text3, panel.Text4, panel.Text5})
            QVERIFY(field->isEnabled());
    }

    void everyKeystrokeIsStored() {
        SettingsStore store(file());
        FakeDialogs dialogs;
        OptionsPanel panel(store, dialogs);
        restoreInto(panel, dialogs);
        panel.tabBar->setCurrentIndex(0);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        panel.Text2->setFocus();
        QStringList seen;
        for (const char* key : {"a", "b", "c"}) {
            QTest::keyClicks(panel.Text2, key);
            seen << store.read("Slide Footer", "absent");
        }
        QCOMPARE(seen, QStringList({"a", "ab", "abc"}));
        QTest::keyClick(panel.Text2, Qt::Key_Backspace);
        QCOMPARE(store.read("Slide Footer", "absent"), "ab");
    }

    void choicesAreTheControlsAtThisMoment() {
        SettingsStore store(file());
        FakeDialogs dialogs;
        OptionsPanel panel(store, dialogs);
        restoreInto(panel, dialogs);
        panel.Text2->setText("Footer A");
        panel.Check4->setChecked(true);
        panel.Check13->setChecked(false);
        panel.Text5->setText("hidden but read");
        HeaderFooterChoices c = panel.choices();
        QCOMPARE(c.slideDate, "07/12/2026");
        QVERIFY(c.slideDateOn);
        QCOMPARE(c.slideFooter, "Footer A");
        QVERIFY(c.slideNumberOn);
        QCOMPARE(c.notesFooter, "hidden but read");
        QVERIFY(!c.notesFooterOn);
        QVERIFY(!c.pageNumberOn);
        panel.Text2->setText("Footer B");
        QCOMPARE(panel.choices().slideFooter, "Footer B");
        // Greyed is not "on".
        panel.Check8->setTristate(true);
        panel.Check8->setCheckState(Qt::PartiallyChecked);
        QCOMPARE(OptionsPanel::stateOf(panel.Check8), 2);
        QVERIFY(!panel.choices().slideDateOn);
        QVERIFY(!panel.Text1->isEnabled());
        QCOMPARE(store.read("Slide Date Checkbox", "x"), "0");
    }

    // trelwick-cli stamps a text of any length; the window must not cut the same text short (a line
    // edit keeps 32,767 UTF-16 units unless told otherwise, splitting a character outside the BMP).
    void longTextsAreKeptWhole() {
        SettingsStore store(file());
        FakeDialogs dialogs;
        OptionsPanel panel(store, dialogs);
        restoreInto(panel, dialogs);
        QString text;
        for (int i = 0; i < 20000; ++i) text += QString::fromUtf8("\xF0\x9F\x98\x80");  // U+1F600
        for (QLineEdit* field : {panel.Text1, panel.Text2, panel.Text3, panel.Text4, panel.Text5})
            field->setText(text);
        const HeaderFooterChoices c = panel.choices();
        for (const QString& got : {c.slideDate, c.slideFooter, c.notesDate, c.notesHeader, c.notesFooter})
            QCOMPARE(got.size(), text.size());
    }

    void refusedWritesDuringRestoreAreReportedByStep() {
        QFile blocker(dir.path() + "/blocker");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        SettingsStore store(dir.path() + "/blocker/Trelwick.conf");
        FakeDialogs dialogs;
        OptionsPanel panel(store, dialogs);
        restoreInto(panel, dialogs);
        // Only the actions that write fail: changed values and the explicit enabling calls.
        QCOMPARE(reportedSteps(dialogs),
                 QList<int>({132, 138, 140, 142, 144, 146, 154, 156, 158, 160, 162, 164}));
        const auto first = dialogs.errorReports().front();
        QVERIFY(first.text.contains("\r\nin " + kLoadTag + " at line 132\r\r"));
        QCOMPARE(first.icon, MessageIcon::Warning);
        // The restore still placed every value.
        QCOMPARE(panel.Text1->text(), "07/12/2026");
        QVERIFY(panel.Check13->isChecked());
        QVERIFY(panel.Text5->isEnabled());
    }

    void refusedWriteOnAClickIsReportedUnderTheHandler() {
        FakeDialogs dialogs;
        QFile blocker(dir.path() + "/blocker2");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        SettingsStore bad(dir.path() + "/blocker2/Trelwick.conf");
        OptionsPanel panel(bad, dialogs);
        panel.Check8->setChecked(true);
        panel.Text4->setText("x");
        // Typing on: each keystroke is refused again, and the user was already told.
        QTest::keyClicks(panel.Text4, "yz");
        panel.Check8->setChecked(false);
        const auto reports = dialogs.errorReports();
        QCOMPARE(reports.size(), size_t(2));
        QVERIFY(reports[0].text.contains("in Dunmere2021/08/31.Form1.Check8_Click at line 100\r\r"));
        QVERIFY(reports[1].text.contains("in Dunmere2021/08/31.Form1.Text4_Change at line 100\r\r"));
        QVERIFY(!panel.Text1->isEnabled());  // the rule holds though the value was not stored

        // Once the store takes a value again, the next refusal is told again.
        QVERIFY(blocker.remove());
        panel.Text4->setText("stored");
        QCOMPARE(bad.read("Notes Header", QString()), "stored");
        QVERIFY(QDir(dir.path()).rename("blocker2", "moved"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        panel.Text4->setText("refused");
        QCOMPARE(dialogs.errorReports().size(), size_t(3));
    }

    void tabsAndLayout() {
        SettingsStore store(file());
        FakeDialogs dialogs;
        OptionsPanel panel(store, dialogs);
        QCOMPARE(panel.tabBar->count(), 2);
        QCOMPARE(panel.tabBar->tabText(0), "Slides");
        QCOMPARE(panel.tabBar->tabText(1), "Notes and Handouts");
        QCOMPARE(panel.tabBar->currentIndex(), 1);
        QVERIFY(!panel.Frame1->isVisibleTo(&panel));
        QVERIFY(panel.Frame2->isVisibleTo(&panel));
        panel.tabBar->setCurrentIndex(0);
        QVERIFY(panel.Frame1->isVisibleTo(&panel));
        QVERIFY(!panel.Frame2->isVisibleTo(&panel));

        QCOMPARE(panel.size(), QSize(520, 151));
        QCOMPARE(panel.Frame1->geometry(), QRect(16, 25, 487, 114));
        QCOMPARE(panel.Text2->geometry(), QRect(78, 50, 391, 23));
        QCOMPARE(panel.Check10->geometry(), QRect(368, 21, 99, 16));
        QCOMPARE(panel.Check13->geometry(), QRect(12, 83, 64, 16));
        QCOMPARE(panel.Check4->text(), "Display Slide Number");
        QCOMPARE(panel.Check12->text(), "Header:");
        QCOMPARE(panel.Frame1->palette().color(QPalette::Window), QColor(Qt::white));
        QCOMPARE(panel.Check8->palette().color(QPalette::Window), QColor(Qt::white));
    }
};

QTEST_MAIN(OptionsPanelTest)
#include "OptionsPanelTest.moc"
