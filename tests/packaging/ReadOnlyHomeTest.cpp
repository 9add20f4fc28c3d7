// The window started by a user whose home cannot be written (a full disk, a read-only or locked
// down home): every refused setting is reported clearly, and the program still does its work.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>
#include <memory>

#include "app/Form1.h"
#include "options/OptionsPanel.h"
#include "settings/SettingsStore.h"
#include "support/FakeDialogs.h"
#include "support/WindowRig.h"

using namespace trelwick;
using trelwick::testing::FakeDialogs;
using trelwick::testing::WindowRig;

namespace {

// Set by main() before Qt looks at the environment.
QString gWork;
QString gHome;

}  // namespace

class ReadOnlyHomeTest : public QObject {
    Q_OBJECT

  private slots:
    void windowReportsRefusedSettingsAndStillStampsDecks() {
        SettingsStore store;  // the user's store, which lives under the home
        QVERIFY2(store.location().startsWith(gHome), qPrintable(store.location()));

        const QString out = gWork + QStringLiteral("/Ausgabe ö");
        QVERIFY(QDir().mkpath(out));
        WindowRig rig(store, WindowRig::environment(out));
        QVERIFY(rig.loadAndShow());
        Form1& form = rig.form;
        FakeDialogs& dialogs = rig.dialogs;

        // Every report says which setting could not be saved, where, and why.
        const auto reports = dialogs.errorReports();
        QVERIFY(!reports.empty());
        for (const auto& report : reports) {
            QVERIFY2(report.text.startsWith("Could not save the setting \""), qPrintable(report.text));
            QVERIFY2(report.text.contains(store.location()), qPrintable(report.text));
            QVERIFY2(report.text.contains("is a file, not a folder"), qPrintable(report.text));
        }
        // The window shows the values it could not store.
        QCOMPARE(form.outputFolder(), out + QLatin1Char('/'));

        // Still usable: decks added through the file dialog are stamped into the output folder.
        const QStringList decks =
            QDir(QStringLiteral(TRELWICK_SOURCE_DIR "/filelist/samples")).entryList({"*.pptx"}, QDir::Files);
        QVERIFY(!decks.isEmpty());
        QStringList paths;
        for (const QString& deck : decks)
            paths << QStringLiteral(TRELWICK_SOURCE_DIR "/filelist/samples/") + deck;
        dialogs.openFilesAnswers.push_back(paths);
        QTest::mouseClick(form.PushButton3, Qt::LeftButton);
        QCOMPARE(form.ListView1->topLevelItemCount(), decks.size());

        dialogs.calls.clear();
        form.SSTab1->Text2->setText(QStringLiteral("Read-only home"));
        QCheckBox* slideNumber = form.SSTab1->Check4;
        QVERIFY(!slideNumber->isChecked());
        QTest::mouseClick(slideNumber, Qt::LeftButton, {}, QPoint(5, slideNumber->height() / 2));
        // One report for each refused change; the controls keep what the user did.
        QCOMPARE(dialogs.errorReports().size(), size_t(2));
        const HeaderFooterChoices choices = form.currentChoices();
        QCOMPARE(choices.slideFooter, QStringLiteral("Read-only home"));
        QVERIFY(choices.slideFooterOn);
        QVERIFY(choices.slideNumberOn);

        dialogs.calls.clear();
        QTest::mouseClick(form.PushButton7, Qt::LeftButton);
        QVERIFY(dialogs.errorReports().empty());
        const auto boxes = dialogs.callsOf(FakeDialogs::Kind::MessageBox);
        QVERIFY(!boxes.empty());
        QCOMPARE(boxes.back().text, QStringLiteral("Done."));
        QCOMPARE(QDir(out).entryList({"*.pptx"}, QDir::Files, QDir::Name), decks);
        QVERIFY(QFileInfo(gHome + "/.config").isFile());
    }
};

int main(int argc, char** argv) {
    // A home whose configuration folder cannot be created even by root: its parent is a file.
    QTemporaryDir work;
    if (!work.isValid()) return 1;
    gWork = work.path();
    gHome = gWork + QStringLiteral("/home/lôcked");
    QDir().mkpath(gHome);
    QFile blocker(gHome + QStringLiteral("/.config"));
    if (!blocker.open(QIODevice::WriteOnly)) return 1;
    blocker.close();
    qputenv("HOME", QFile::encodeName(gHome));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(gHome + QStringLiteral("/.config")));
    QApplication app(argc, argv);
    ReadOnlyHomeTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ReadOnlyHomeTest.moc"
