#pragma once

#include <QCursor>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QMimeData;
class QTreeWidget;
class QTreeWidgetItem;

namespace trelwick {

// The ordered list of files to process, kept in the window's list control ListView1. Owns the
// control's behaviour: add entry, removal by double-click and Delete, clearing, drag reordering and
// the test whether something dragged from outside may be dropped. The control stays owned by the window.
class FileList : public QObject {
    Q_OBJECT

  public:
    // Takes over the events of listView1; isBusy tells whether the main window shows the hourglass.
    FileList(QTreeWidget* listView1, std::function<bool()> isBusy, QObject* parent = nullptr);
    ~FileList() override;

    // Gives the list its single "PowerPoint File(s)" column, 7000 twips wide, and its tooltip.
    void createColumn();

    // Appends one entry holding exactly text; checks nothing, allows duplicates.
    void addEntry(const QString& text);

    // Number of entries (0 for an empty list).
    int count() const;

    // Text of the entry at position 1..count(); empty text for a position outside that range.
    QString text(int position) const;

    // Texts of all entries, top to bottom.
    QStringList texts() const;

    // Removes every entry at once, unless the window is busy.
    void clearEntries();

    // Removes the selected entry, unless the window is busy, the list is empty or nothing is selected.
    void removeSelected();

    // Where the custom drag pointer "drag.ico" is looked for (by default beside the program, then in the
    // installed data folder).
    void setProgramFolder(const QString& folder);

    // Called with the dropped local paths, in the drag source's order, when files are dropped.
    void setDropHandler(std::function<void(const QStringList&)> onDrop);

    // The list control's events, named after the control.
    void ListView1_MouseDown();
    void ListView1_ItemClick();
    // pos is in the list's viewport coordinates.
    void ListView1_MouseMove(const QPoint& pos);
    void ListView1_MouseUp();
    void ListView1_KeyDown(int key);
    void ListView1_DblClick();
    // True when data dragged from outside may be dropped: a list of local files.
    static bool ListView1_OLEDragOver(const QMimeData* data);

    // The control this list works on.
    QTreeWidget* listView() const { return list_; }

    // True between a mouse press on the list and its release.
    bool isDragging() const { return dragging_; }

    // Position (1-based) of the entry that holds the text being dragged, 0 when there is none.
    int draggedPosition() const;

    // Local paths carried by dropped data, in order; empty when it holds no local file.
    static QStringList droppedPaths(const QMimeData* data);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QCursor dragPointer();
    void forgetDraggedEntry();

    QTreeWidget* list_;
    std::function<bool()> isBusy_;
    std::function<void(const QStringList&)> onDrop_;
    QString dragIconFile_;
    std::optional<QCursor> dragPointer_;
    bool dragging_ = false;
    QTreeWidgetItem* dragged_ = nullptr;
};

}  // namespace trelwick
