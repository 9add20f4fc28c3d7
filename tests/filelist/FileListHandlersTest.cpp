#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QTreeWidget>
#include <QUrl>
#include <QtTest>

#include "TempTree.h"
#include "filelist/FileList.h"
#include "filelist/FileListHandlers.h"
#include "filelist/TextScrambler.h"
#include "settings/SettingsStore.h"
#include "support/FakeDialogs.h"

using trelwick::AppError;
using trelwick::FileListHandlers;
using trelwick::MessageButtons;
using trelwick::MessageIcon;
using trelwick::MessageResult;
using trelwick::SettingsStore;
using trelwick::testing::FakeDialogs;
using trelwick::testing::TempTree;
using Kind = trelwick::testing::FakeDialogs::Kind;

// The buttons and the drop that fill the list, driven through scripted dialogs on real folders.
class FileListHandlersTest : public QObject {
    Q_OBJECT

  private:
    TempTree* tree = nullptr;
    QWidget* window = nullptr;
    QTreeWidget* widget = nullptr;
    FakeDialogs* dialogs = nullptr;
    SettingsStore* settings = nullptr;
    FileListHandlers* handlers = nullptr;

    QStringList entries() const { return handlers->fileList().texts(); }
    bool busy() const { return window->cursor().shape() == Qt::WaitCursor; }

    void drop(const QStringList& paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
        data.setUrls(urls);
        // A drop reaches the list only after the list accepted the drag's enter.
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(widget->viewport(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(widget->viewport(), &event);
        QVERIFY(event.isAccepted());
        QCoreApplication::processEvents();
    }

  private slots:
    void init() {
        tree = new TempTree;
        window = new QWidget;
        widget = new QTreeWidget(window);
        dialogs = new FakeDialogs;
        settings = new SettingsStore(tree->path("settings.ini"));
        handlers =
            new FileListHandlers(widget, *dialogs, *settings, FileListHandlers::windowPointerBusy(window),
                                 tree->path("Program/Samples"));
    }
    void cleanup() {
        delete handlers;
        delete settings;
        delete dialogs;
        delete window;
        delete tree;
    }

    void clearListEmptiesUnlessBusy() {
        handlers->fileList().addEntry("a");
        window->setCursor(Qt::WaitCursor);
        handlers->PushButton1_Click();
        QCOMPARE(entries().size(), 1);
        window->unsetCursor();
        handlers->PushButton1_Click();
        QVERIFY(entries().isEmpty());
        QVERIFY(dialogs->calls.empty());
    }

    void addFilesAsksWithTitleAndFilters() {
        handlers->PushButton3_Click();
        const auto asked = dialogs->callsOf(Kind::OpenFiles);
        QCOMPARE(asked.size(), size_t(1));
        QCOMPARE(asked[0].title, QStringLiteral("Add File(s) - Hold Ctrl to select multiple files"));
        QCOMPARE(asked[0].filters.size(), 2);
        QCOMPARE(asked[0].filters[0], QStringLiteral("PowerPoint Files (*.p*)"));
        QVERIFY(asked[0].filters[1].startsWith(QStringLiteral("All Files (")));
        QVERIFY(entries().isEmpty());
        QCOMPARE(dialogs->calls.size(), size_t(1));
    }

    void addFilesOneAsReturnedSeveralNormalisedInOrder() {
        dialogs->openFilesAnswers = {{"/data//one.pptx"}, {"/data//b.ppt", "/data//a.ppt", "//c.pot"}};
        handlers->fileList().addEntry("/data/b.ppt");
        handlers->PushButton3_Click();
        handlers->PushButton3_Click();
        QCOMPARE(entries(),
                 (QStringList{"/data/b.ppt", "/data//one.pptx", "/data/b.ppt", "/data/a.ppt", "/c.pot"}));
        QVERIFY(dialogs->errorReports().empty());
    }

    void tooManyFilesShowsItsOwnMessage() {
        dialogs->failNext =
            std::make_pair(Kind::OpenFiles, AppError(trelwick::kDialogBufferTooSmall, "buffer"));
        handlers->PushButton3_Click();
        const auto boxes = dialogs->callsOf(Kind::MessageBox);
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].text,
                 QStringLiteral("You've selected too many files to add.\r\rPlease try adding via the "
                                "\"Add All\" button."));
        QCOMPARE(boxes[0].title, QStringLiteral("Trelwick"));
        QCOMPARE(boxes[0].buttons, MessageButtons::Ok);
        QCOMPARE(boxes[0].icon, MessageIcon::None);
        QVERIFY(entries().isEmpty());
    }

    void otherDialogFailureIsReportedAtItsStep() {
        dialogs->failNext = std::make_pair(Kind::OpenFiles, AppError(trelwick::kInvalidCall, "dialog broke"));
        handlers->PushButton3_Click();
        const auto reports = dialogs->errorReports();
        QCOMPARE(reports.size(), size_t(1));
        QVERIFY(reports[0].text.startsWith(
            "dialog broke\r\nin Dunmere2021/08/31.Form1.PushButton3_Click at line 112\r\r"));
        QVERIFY(entries().isEmpty());
    }

    void addFolderPromptDefaultAndRememberedExtension() {
        dialogs->inputAnswers = {"pptx", ""};
        handlers->PushButton6_Click();  // picker cancelled
        handlers->PushButton6_Click();  // empty answer
        const auto prompts = dialogs->callsOf(Kind::InputBox);
        QCOMPARE(prompts.size(), size_t(2));
        QCOMPARE(prompts[0].text,
                 QStringLiteral("Enter file extension to load:\r\r(* for all files, txt for all txt "
                                "files, doc for all doc files, etc.)"));
        QCOMPARE(prompts[0].title, QStringLiteral("Trelwick"));
        QCOMPARE(prompts[0].defaultText, QStringLiteral("ppt"));
        QCOMPARE(prompts[1].defaultText, QStringLiteral("pptx"));
        QCOMPARE(settings->read("Extension", QString()), QStringLiteral("pptx"));
        // Only the first press reached the picker.
        const auto pickers = dialogs->callsOf(Kind::BrowseForFolder);
        QCOMPARE(pickers.size(), size_t(1));
        QCOMPARE(pickers[0].text, QStringLiteral("Please select folder:"));
        QCOMPARE(pickers[0].defaultText, QString());
        QVERIFY(!settings->contains("LastFolder"));
        QVERIFY(entries().isEmpty());
        QVERIFY(!busy());
    }

    void addFolderAddsTheTreeWhileBusyAndRemembersTheFolder() {
        tree->file("A/a1.pptx");
        tree->file("A/skip.txt");
        tree->file("A/B/b1.pptx");
        tree->file("A/B/~b2.pptx");
        const QString a = tree->path("A");
        dialogs->inputAnswers = {"pptx", "*"};
        dialogs->folderAnswers = {a, a};
        bool busyDuringWalk = false;
        QMetaObject::invokeMethod(
            this, [&] { busyDuringWalk = busy(); }, Qt::QueuedConnection);

        handlers->PushButton6_Click();

        QVERIFY(busyDuringWalk);
        QVERIFY(!busy());
        QCOMPARE(entries(), (QStringList{a + "/a1.pptx", a + "/B/b1.pptx"}));
        QCOMPARE(settings->read("LastFolder", QString()), a);

        handlers->PushButton6_Click();
        QCOMPARE(dialogs->callsOf(Kind::BrowseForFolder)[1].defaultText, a);
        QCOMPARE(entries().size(), 2 + 3);
        QVERIFY(dialogs->errorReports().empty());
    }

    void busyStateBlocksClearingWhileAFolderIsAdded() {
        for (int i = 0; i < 3; ++i) tree->file(QString("A/s%1/f.ppt").arg(i));
        handlers->fileList().addEntry("kept");
        dialogs->inputAnswers = {"ppt"};
        dialogs->folderAnswers = {tree->path("A")};
        QMetaObject::invokeMethod(
            this, [&] { handlers->PushButton1_Click(); }, Qt::QueuedConnection);
        handlers->PushButton6_Click();
        QCOMPARE(entries().size(), 4);
        QCOMPARE(entries().first(), QStringLiteral("kept"));
    }

    void dropFilesAsDroppedInOrder() {
        const QString b = tree->file("x/b.txt");
        const QString tilde = tree->file("x/~a.pptx");
        const QString gone = tree->path("x/vanished.ppt");
        handlers->fileList().addEntry(b);
        drop({b, tilde, gone});
        QCOMPARE(entries(), (QStringList{b, b, tilde, gone}));
        QVERIFY(!busy());
    }

    void dropFolderAddsEveryFileOfItsTree() {
        tree->file("F/one.pptx");
        tree->file("F/notes.txt");
        tree->file("F/~lock.pptx");
        tree->file("F/.hidden.ppt");
        tree->file("F/sub/two.doc");
        const QString f = tree->path("F");
        drop({f});
        const QStringList got = entries();
        QCOMPARE(got.size(), 3);
        QCOMPARE(QSet<QString>(got.begin(), got.end()),
                 (QSet<QString>{f + "/one.pptx", f + "/notes.txt", f + "/sub/two.doc"}));
        QCOMPARE(got.last(), f + "/sub/two.doc");
    }

    void dropTwoFoldersAndAFileKeepsTheirOrder() {
        const QString a1 = tree->file("A/a.ppt");
        const QString b1 = tree->file("B/b.ppt");
        const QString file = tree->file("loose.ppt");
        drop({tree->path("B"), file, tree->path("A")});
        QCOMPARE(entries(), (QStringList{b1, file, a1}));
    }

    void samplesButtonAddsOnceAndAsks() {
        const QString s = tree->file("Program/Samples/deck.pptx");
        handlers->recordSampleFilesAtFirstStart();
        const QString first = settings->read("Snapshot", QString());
        QCOMPARE(trelwick::TextScrambler::UnscrambleText(first, trelwick::TextScrambler::key()), s);
        tree->file("Program/Samples/later.pptx");
        handlers->recordSampleFilesAtFirstStart();  // already recorded: unchanged
        QCOMPARE(settings->read("Snapshot", QString()), first);

        handlers->PushButton4_Click();
        handlers->PushButton4_Click();
        QCOMPARE(entries(), QStringList{s});
        QCOMPARE(dialogs->callsOf(Kind::MessageBox).size(), size_t(2));
        QVERIFY(dialogs->errorReports().empty());
    }

    void samplesFailureIsReportedAtLine100() {
        dialogs->failNext = std::make_pair(Kind::MessageBox, AppError(trelwick::kInvalidCall, "box broke"));
        handlers->PushButton4_Click();
        const auto reports = dialogs->errorReports();
        QCOMPARE(reports.size(), size_t(1));
        QVERIFY(reports[0].text.contains("in Dunmere2021/08/31.Form1.PushButton4_Click at line 100"));
    }
};

QTEST_MAIN(FileListHandlersTest)
#include "FileListHandlersTest.moc"
