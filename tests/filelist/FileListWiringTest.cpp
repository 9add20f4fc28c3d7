#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QtTest>

#include "TempTree.h"
#include "app/Form1.h"
#include "filelist/FileList.h"
#include "filelist/FileListHandlers.h"
#include "filelist/TextScrambler.h"
#include "settings/SettingsStore.h"
#include "support/FakeDialogs.h"
#include "support/WindowRig.h"

using namespace trelwick;
using trelwick::testing::FakeDialogs;
using trelwick::testing::TempTree;
using trelwick::testing::WindowRig;

// The file list inside the real main window: the window's own event filter and the list's must
// together handle each event once.
class FileListWiringTest : public QObject {
    Q_OBJECT

  private:
    TempTree* tree = nullptr;
    SettingsStore* store = nullptr;
    WindowRig* rig = nullptr;
    Form1* form = nullptr;
    FakeDialogs* dialogs = nullptr;
    FileListHandlers* handlers = nullptr;

    QTreeWidget* list() const { return form->ListView1; }
    QStringList entries() const { return handlers->fileList().texts(); }
    QPoint centreOf(int position) const {
        return list()->visualItemRect(list()->topLevelItem(position - 1)).center();
    }
    bool dragEnter(QMimeData& data) {
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(list()->viewport(), &enter);
        return enter.isAccepted();
    }

  private slots:
    void init() {
        tree = new TempTree;
        store = new SettingsStore(tree->path("settings.conf"));
        Form1Environment env = WindowRig::environment(tree->path("desk"));
        env.programFolder = tree->folder("program");
        env.currentDateText = [] { return QStringLiteral("07/12/2026"); };
        rig = new WindowRig(*store, env);
        form = &rig->form;
        dialogs = &rig->dialogs;
        handlers = rig->fileList.get();
        QVERIFY(rig->loadAndShow());
    }
    void cleanup() {
        delete rig;
        delete store;
        delete tree;
    }

    void loadStepRecordsTheShippedSamples() {
        const QString recorded =
            TextScrambler::UnscrambleText(store->read("Snapshot", QString()), TextScrambler::key());
        QVERIFY(recorded.split('|').size() >= 3);
        QVERIFY(recorded.contains("/Samples/"));
        QVERIFY(dialogs->errorReports().empty());
    }

    void deleteAndDoubleClickRemoveOneEntryEach() {
        for (const char* t : {"a", "b", "c", "d"}) handlers->fileList().addEntry(t);
        list()->setCurrentItem(list()->topLevelItem(0));
        list()->setFocus();
        QTest::keyClick(list(), Qt::Key_Delete);
        QCOMPARE(entries(), (QStringList{"b", "c", "d"}));
        QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, centreOf(2));
        QCOMPARE(entries().size(), 2);
    }

    void dragReorderExchangesOnce() {
        for (const char* t : {"e1", "e2", "e3"}) handlers->fileList().addEntry(t);
        QTest::mousePress(list()->viewport(), Qt::LeftButton, {}, centreOf(1));
        QMouseEvent move(QEvent::MouseMove, centreOf(2), list()->viewport()->mapToGlobal(centreOf(2)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(list()->viewport(), &move);
        QTest::mouseRelease(list()->viewport(), Qt::LeftButton, {}, centreOf(2));
        QCOMPARE(entries(), (QStringList{"e2", "e1", "e3"}));
    }

    void dragAndDropOfFilesIsAcceptedAndAddsOnce() {
        const QString file = tree->file("drop/a.pptx");
        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(file)});
        QVERIFY(dragEnter(files));
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &files, Qt::LeftButton, {});
        QCoreApplication::sendEvent(list()->viewport(), &drop);
        QTRY_COMPARE(entries(), QStringList{file});
        QCoreApplication::processEvents();
        QCOMPARE(entries().size(), 1);

        QMimeData text;
        text.setText("words");
        QVERIFY(!dragEnter(text));
    }

    void closingDuringADroppedFoldersWalkEndsTheProgramAtOnce() {
        for (int i = 0; i < 50; ++i) tree->file(QStringLiteral("walk/d%1/deck.pptx").arg(i));
        int endedNow = 0, entriesAtClose = -1;
        Form1Environment env = WindowRig::environment(tree->path("desk"));
        env.endProgramNow = [&] { ++endedNow; };
        WindowRig wired(*store, env);
        QVERIFY(wired.loadAndShow());
        QMimeData folder;
        folder.setUrls({QUrl::fromLocalFile(tree->path("walk"))});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &folder, Qt::LeftButton, {});
        QCoreApplication::sendEvent(wired.form.ListView1->viewport(), &enter);
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &folder, Qt::LeftButton, {});
        QCoreApplication::sendEvent(wired.form.ListView1->viewport(), &drop);
        // The drop is handled once the event is answered; the user closes as its first files show.
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (wired.fileList->fileList().count() == 0) return;
            poll.stop();
            entriesAtClose = wired.fileList->fileList().count();
            wired.form.close();
        });
        poll.start(0);
        QTRY_VERIFY(entriesAtClose >= 0);
        QCOMPARE(endedNow, 1);
        QVERIFY(entriesAtClose < 50);
    }

    void busyWindowKeepsTheListAndFolderAddingShowsTheHourglass() {
        handlers->fileList().addEntry("kept");
        form->setMousePointer(Form1::Pointer::Hourglass);
        form->PushButton1_Click();
        QCOMPARE(entries().size(), 1);
        form->setMousePointer(Form1::Pointer::Default);

        tree->file("A/x.ppt");
        dialogs->inputAnswers = {"ppt"};
        dialogs->folderAnswers = {tree->path("A")};
        bool hourglass = false;
        QMetaObject::invokeMethod(
            this, [&] { hourglass = form->isBusy(); }, Qt::QueuedConnection);
        form->PushButton6_Click();
        QVERIFY(hourglass);
        QVERIFY(!form->isBusy());
        QCOMPARE(entries(), (QStringList{"kept", tree->path("A/x.ppt")}));
        form->PushButton1_Click();
        QVERIFY(entries().isEmpty());
    }
};

QTEST_MAIN(FileListWiringTest)
#include "FileListWiringTest.moc"
