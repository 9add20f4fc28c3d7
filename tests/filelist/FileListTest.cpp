#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QScrollBar>
#include <QTreeWidget>
#include <QUrl>
#include <QtTest>

#include "TempTree.h"
#include "filelist/FileList.h"

using trelwick::FileList;
using trelwick::testing::TempTree;

// The list control on its own: entries, removal, the busy guard, drag reordering and drag-over.
class FileListTest : public QObject {
    Q_OBJECT

  private:
    QTreeWidget* widget = nullptr;
    FileList* list = nullptr;
    bool busy = false;

    void fill(const QStringList& texts) {
        for (const QString& t : texts) list->addEntry(t);
    }
    QPoint centreOf(int position) const {
        return widget->visualItemRect(widget->topLevelItem(position - 1)).center();
    }
    void press(const QPoint& pos) { QTest::mousePress(widget->viewport(), Qt::LeftButton, {}, pos); }
    void release(const QPoint& pos) { QTest::mouseRelease(widget->viewport(), Qt::LeftButton, {}, pos); }
    void moveTo(const QPoint& pos) {
        QMouseEvent move(QEvent::MouseMove, pos, widget->viewport()->mapToGlobal(pos), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(widget->viewport(), &move);
    }
    void key(Qt::Key k, Qt::KeyboardModifiers modifiers = {}) { QTest::keyClick(widget, k, modifiers); }
    int selectedPosition() const { return widget->indexOfTopLevelItem(widget->currentItem()) + 1; }

  private slots:
    void init() {
        busy = false;
        widget = new QTreeWidget;
        list = new FileList(widget, [this] { return busy; });
        list->setProgramFolder(QStringLiteral(TRELWICK_FILELIST_RESOURCES));
        list->createColumn();
        widget->resize(500, 300);
        widget->show();
        QVERIFY(QTest::qWaitForWindowExposed(widget));
    }
    void cleanup() {
        delete list;
        delete widget;
    }

    void columnAndTooltip() {
        QCOMPARE(widget->columnCount(), 1);
        QCOMPARE(widget->headerItem()->text(0), QStringLiteral("PowerPoint File(s)"));
        QCOMPARE(widget->columnWidth(0), 7000 / 15);
        QCOMPARE(widget->toolTip(),
                 QStringLiteral("Drag and drop files here. Double-click item to remove it. "
                                "Move | line to right and out of window to reveal full names."));
    }

    void addEntryKeepsOrderTextAndDuplicates() {
        fill({"/b/x.ppt", "C:\\\\odd\\path", "/b/x.ppt", ""});
        QCOMPARE(list->count(), 4);
        QCOMPARE(list->texts(), (QStringList{"/b/x.ppt", "C:\\\\odd\\path", "/b/x.ppt", ""}));
        QCOMPARE(list->text(1), QStringLiteral("/b/x.ppt"));
        QCOMPARE(list->text(0), QString());
        QCOMPARE(list->text(5), QString());
    }

    void deleteAndDoubleClickOnEmptyListDoNothing() {
        key(Qt::Key_Delete);
        QTest::mouseDClick(widget->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
        QCOMPARE(list->count(), 0);
    }

    void deleteRemovesSelectedWhateverTheModifiers_data() {
        QTest::addColumn<int>("modifiers");
        QTest::newRow("plain") << int(Qt::NoModifier);
        QTest::newRow("shift") << int(Qt::ShiftModifier);
        QTest::newRow("ctrl") << int(Qt::ControlModifier);
        QTest::newRow("alt") << int(Qt::AltModifier);
        QTest::newRow("ctrl+shift") << int(Qt::ControlModifier | Qt::ShiftModifier);
    }
    void deleteRemovesSelectedWhateverTheModifiers() {
        QFETCH(int, modifiers);
        fill({"a", "b", "c"});
        widget->setCurrentItem(widget->topLevelItem(1));
        key(Qt::Key_Delete, Qt::KeyboardModifiers(modifiers));
        QCOMPARE(list->texts(), (QStringList{"a", "c"}));
        QCOMPARE(list->text(2), QStringLiteral("c"));
    }

    void otherKeysRemoveNothing() {
        fill({"a", "b"});
        widget->setCurrentItem(widget->topLevelItem(0));
        key(Qt::Key_Backspace);
        key(Qt::Key_X);
        QCOMPARE(list->count(), 2);
    }

    void doubleClickRemovesSelected() {
        fill({"a", "b", "c"});
        QTest::mouseClick(widget->viewport(), Qt::LeftButton, {}, centreOf(3));
        QTest::mouseDClick(widget->viewport(), Qt::LeftButton, {}, centreOf(3));
        QCOMPARE(list->texts(), (QStringList{"a", "b"}));
    }

    void busyGuardsRemovalAndClearing() {
        fill({"a", "b"});
        widget->setCurrentItem(widget->topLevelItem(0));
        busy = true;
        key(Qt::Key_Delete);
        QTest::mouseDClick(widget->viewport(), Qt::LeftButton, {}, centreOf(1));
        list->removeSelected();
        list->clearEntries();
        QCOMPARE(list->count(), 2);
        busy = false;
        list->clearEntries();
        QCOMPARE(list->count(), 0);
    }

    void dragDownOneEntryAtATime() {
        fill({"e1", "e2", "e3", "e4", "e5"});
        press(centreOf(2));
        moveTo(centreOf(3));
        moveTo(centreOf(4));
        release(centreOf(4));
        QCOMPARE(list->texts(), (QStringList{"e1", "e3", "e4", "e2", "e5"}));
        QCOMPARE(selectedPosition(), 4);
        QCOMPARE(list->draggedPosition(), 4);
    }

    void jumpExchangesOnlyTheTwoEntries() {
        fill({"e1", "e2", "e3", "e4", "e5"});
        press(centreOf(1));
        moveTo(centreOf(4));
        release(centreOf(4));
        QCOMPARE(list->texts(), (QStringList{"e4", "e2", "e3", "e1", "e5"}));
        QCOMPARE(selectedPosition(), 4);
    }

    void sameTextChangesNothing() {
        fill({"x", "x", "y"});
        press(centreOf(1));
        moveTo(centreOf(2));
        QCOMPARE(list->texts(), (QStringList{"x", "x", "y"}));
        QCOMPARE(list->draggedPosition(), 1);
        moveTo(centreOf(3));
        release(centreOf(3));
        QCOMPARE(list->texts(), (QStringList{"y", "x", "x"}));
    }

    void movingWithoutAPressChangesNothing() {
        fill({"a", "b"});
        press(centreOf(1));
        release(centreOf(1));
        moveTo(centreOf(2));
        QCOMPARE(list->texts(), (QStringList{"a", "b"}));
        QVERIFY(!list->isDragging());
    }

    void releaseLostElsewhereEndsTheDragAtTheNextMove() {
        fill({"a", "b", "c"});
        press(centreOf(1));
        // The release went to a message box: the next move comes with no button held.
        QMouseEvent move(QEvent::MouseMove, centreOf(2), widget->viewport()->mapToGlobal(centreOf(2)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(widget->viewport(), &move);
        QCOMPARE(list->texts(), (QStringList{"a", "b", "c"}));
        QVERIFY(!list->isDragging());
        QCOMPARE(widget->viewport()->cursor().shape(), Qt::ArrowCursor);
        moveTo(centreOf(3));
        QCOMPARE(list->texts(), (QStringList{"a", "b", "c"}));
    }

    void pressOnEmptyAreaMovesTheRememberedEntry() {
        fill({"a", "b", "c"});
        press(centreOf(1));
        release(centreOf(1));
        const QPoint empty(20, widget->viewport()->height() - 5);
        QVERIFY(!widget->itemAt(empty));
        press(empty);
        moveTo(centreOf(3));
        release(centreOf(3));
        QCOMPARE(list->texts(), (QStringList{"c", "b", "a"}));
    }

    void removedDraggedEntryIsForgotten_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("delete") << "delete";
        QTest::newRow("double-click") << "dblclick";
        QTest::newRow("clear") << "clear";
    }
    void removedDraggedEntryIsForgotten() {
        QFETCH(QString, how);
        fill({"a", "b", "c"});
        press(centreOf(2));
        release(centreOf(2));
        QCOMPARE(list->draggedPosition(), 2);
        if (how == "delete") key(Qt::Key_Delete);
        if (how == "dblclick") QTest::mouseDClick(widget->viewport(), Qt::LeftButton, {}, centreOf(2));
        if (how == "clear") list->clearEntries();
        QCOMPARE(list->draggedPosition(), 0);
        if (how == "clear") fill({"n1", "n2"});
        const QStringList before = list->texts();
        const QPoint empty(20, widget->viewport()->height() - 5);
        press(empty);
        moveTo(centreOf(1));
        moveTo(centreOf(2));
        release(centreOf(2));
        QCOMPARE(list->texts(), before);
    }

    void dragPointerWhilePressedArrowAfterRelease() {
        fill({"a", "b"});
        press(centreOf(1));
        QCOMPARE(widget->viewport()->cursor().shape(), Qt::BitmapCursor);
        QVERIFY(list->isDragging());
        release(centreOf(1));
        QCOMPARE(widget->viewport()->cursor().shape(), Qt::ArrowCursor);
        QVERIFY(!list->isDragging());
        // After the release the list shows the window's pointer again, the hourglass included.
        QWidget window;
        widget->setParent(&window);
        window.setCursor(Qt::WaitCursor);
        QCOMPARE(widget->viewport()->cursor().shape(), Qt::WaitCursor);
        widget->setParent(nullptr);
    }

    void missingDragIconKeepsTheArrow() {
        TempTree empty;
        list->setProgramFolder(empty.path());
        fill({"a"});
        press(centreOf(1));
        QCOMPARE(widget->viewport()->cursor().shape(), Qt::ArrowCursor);
        release(centreOf(1));
    }

    void shippedDragIconIsA32PixelPicture() {
        const QPixmap picture(QStringLiteral(TRELWICK_FILELIST_RESOURCES "/drag.ico"));
        QVERIFY(!picture.isNull());
        QCOMPARE(picture.size(), QSize(32, 32));
    }

    void dragScrollsNearTheEdgesOnly() {
        QStringList texts;
        for (int i = 1; i <= 60; ++i) texts << QString("entry %1").arg(i);
        fill(texts);
        QScrollBar* bar = widget->verticalScrollBar();
        QCOMPARE(bar->value(), 0);
        // The last entry fully inside the viewport lies within one entry of the bottom edge.
        int lastVisible = 1;
        while (widget->visualItemRect(widget->topLevelItem(lastVisible)).bottom() <
               widget->viewport()->height())
            ++lastVisible;
        press(centreOf(2));
        moveTo(centreOf(3));  // well inside: nothing scrolls
        QCOMPARE(bar->value(), 0);
        const QRect lastRect = widget->visualItemRect(widget->topLevelItem(lastVisible - 1));
        moveTo(lastRect.center());  // within one entry of the bottom edge
        release(lastRect.center());
        QVERIFY(bar->value() > 0);
        QCOMPARE(list->text(lastVisible), QStringLiteral("entry 2"));
        // Scrolled so the entry below the hovered one shows.
        QVERIFY(widget->visualItemRect(widget->topLevelItem(lastVisible)).bottom() <=
                widget->viewport()->height());

        const int scrolled = bar->value();
        const QRect top = widget->visualItemRect(widget->topLevelItem(scrolled));
        press(QPoint(20, widget->viewport()->height() / 2));
        moveTo(top.center());  // the first visible entry: within one entry of the top edge
        release(top.center());
        QVERIFY(bar->value() < scrolled);
    }

    void dragOverAcceptsLocalFilesOnly_data() {
        QTest::addColumn<QList<QUrl>>("urls");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("one file") << QList<QUrl>{QUrl::fromLocalFile("/tmp/a.pptx")} << QString() << true;
        QTest::newRow("files and a folder")
            << QList<QUrl>{QUrl::fromLocalFile("/tmp/a.pptx"), QUrl::fromLocalFile("/tmp/")} << QString()
            << true;
        QTest::newRow("plain text") << QList<QUrl>{} << QStringLiteral("some words") << false;
        QTest::newRow("web address") << QList<QUrl>{QUrl("https://example.com/a.pptx")} << QString() << false;
        QTest::newRow("file and web address")
            << QList<QUrl>{QUrl::fromLocalFile("/tmp/a.pptx"), QUrl("https://example.com/")} << QString()
            << false;
    }
    void dragOverAcceptsLocalFilesOnly() {
        QFETCH(QList<QUrl>, urls);
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QMimeData data;
        if (!urls.isEmpty()) data.setUrls(urls);
        if (!text.isEmpty()) data.setText(text);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(widget->viewport(), &enter);
        QCOMPARE(enter.isAccepted(), accepted);
        if (!accepted) return;
        // Moves reach the list only after it accepted the enter, as in a real drag.
        QDragMoveEvent move(QPoint(12, 12), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(widget->viewport(), &move);
        QVERIFY(move.isAccepted());
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(widget->viewport(), &leave);
    }

    void dropHandsOverThePathsInOrder() {
        QStringList received;
        list->setDropHandler([&](const QStringList& paths) { received = paths; });
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile("/tmp/b.txt"), QUrl::fromLocalFile("/tmp/folder/"),
                      QUrl::fromLocalFile("/tmp/~a.pptx")});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(widget->viewport(), &enter);
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(widget->viewport(), &drop);
        QVERIFY(drop.isAccepted());
        QTRY_COMPARE(received, (QStringList{"/tmp/b.txt", "/tmp/folder", "/tmp/~a.pptx"}));
    }
};

QTEST_MAIN(FileListTest)
#include "FileListTest.moc"
