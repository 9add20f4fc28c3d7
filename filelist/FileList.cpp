#include "FileList.h"

#include <QAbstractItemModel>
#include <QDir>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPixmap>
#include <QTreeWidget>
#include <QUrl>
#include <utility>

#include "ProgramResources.h"

namespace trelwick {

namespace {

// 7000 twips at the usual 15 twips per pixel.
constexpr int kColumnWidthPixels = 7000 / 15;

}  // namespace

FileList::FileList(QTreeWidget* listView1, std::function<bool()> isBusy, QObject* parent)
    : QObject(parent),
      list_(listView1),
      isBusy_(std::move(isBusy)),
      dragIconFile_(ProgramResources::locate(QStringLiteral("drag.ico"))) {
    list_->setRootIsDecorated(false);
    // Entries are single lines; equal heights keep a list of many thousand entries quick to lay out.
    list_->setUniformRowHeights(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The list never starts a drag of its own: dragging an entry reorders by exchanging texts.
    list_->setDragEnabled(false);
    list_->setDragDropMode(QAbstractItemView::NoDragDrop);
    list_->setAutoScroll(false);
    list_->setAcceptDrops(true);
    list_->viewport()->setAcceptDrops(true);
    list_->setMouseTracking(true);
    list_->viewport()->installEventFilter(this);
    list_->installEventFilter(this);
    connect(list_, &QTreeWidget::itemPressed, this, [this] { ListView1_ItemClick(); });
    // Whoever removes entries, the remembered dragged entry must not outlive them.
    connect(list_->model(), &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this] { forgetDraggedEntry(); });
    connect(list_->model(), &QAbstractItemModel::modelAboutToBeReset, this, [this] { forgetDraggedEntry(); });
}

FileList::~FileList() = default;

void FileList::createColumn() {
    list_->setColumnCount(1);
    list_->setHeaderLabels({QStringLiteral("PowerPoint File(s)")});
    list_->setColumnWidth(0, kColumnWidthPixels);
    list_->header()->setStretchLastSection(false);
    list_->setToolTip(
        QStringLiteral("Drag and drop files here. Double-click item to remove it. Move | line to "
                       "right and out of window to reveal full names."));
}

void FileList::addEntry(const QString& text) {
    auto* item = new QTreeWidgetItem(QStringList{text});
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    list_->addTopLevelItem(item);
}

int FileList::count() const {
    return list_->topLevelItemCount();
}

QString FileList::text(int position) const {
    QTreeWidgetItem* item = list_->topLevelItem(position - 1);
    return item ? item->text(0) : QString();
}

QStringList FileList::texts() const {
    QStringList all;
    all.reserve(count());
    for (int i = 0; i < count(); ++i) all << list_->topLevelItem(i)->text(0);
    return all;
}

void FileList::clearEntries() {
    if (isBusy_ && isBusy_()) return;
    list_->clear();
}

void FileList::removeSelected() {
    if (isBusy_ && isBusy_()) return;
    if (count() == 0) return;
    QTreeWidgetItem* selected = list_->currentItem();
    if (!selected) return;
    delete list_->takeTopLevelItem(list_->indexOfTopLevelItem(selected));
}

void FileList::setProgramFolder(const QString& folder) {
    dragIconFile_ = QDir(folder).filePath(QStringLiteral("drag.ico"));
    dragPointer_.reset();
}

void FileList::setDropHandler(std::function<void(const QStringList&)> onDrop) {
    onDrop_ = std::move(onDrop);
}

int FileList::draggedPosition() const {
    return dragged_ ? list_->indexOfTopLevelItem(dragged_) + 1 : 0;
}

void FileList::ListView1_MouseDown() {
    dragging_ = true;
}

void FileList::ListView1_ItemClick() {
    list_->viewport()->setCursor(dragPointer());
    list_->setDragEnabled(false);
    dragged_ = list_->currentItem();
}

void FileList::ListView1_MouseMove(const QPoint& pos) {
    if (!dragging_) return;
    QTreeWidgetItem* hovered = list_->itemAt(pos);
    if (!dragged_ || !hovered) return;
    if (dragged_->text(0) == hovered->text(0)) return;

    const QString kept = dragged_->text(0);
    dragged_->setText(0, hovered->text(0));
    hovered->setText(0, kept);
    list_->setCurrentItem(hovered);
    dragged_ = hovered;

    // Scroll when the pointer comes within one entry of the list's top or bottom edge.
    const int row = list_->indexOfTopLevelItem(hovered);
    const int rowHeight = list_->visualItemRect(hovered).height();
    if (pos.y() < rowHeight && row > 0) {
        list_->scrollToItem(list_->topLevelItem(row - 1));
    } else if (pos.y() > list_->viewport()->height() - rowHeight && row < count() - 1) {
        list_->scrollToItem(list_->topLevelItem(row + 1));
    }
}

void FileList::ListView1_MouseUp() {
    dragging_ = false;
    // Back to the window's pointer (the arrow, or the hourglass while the window is busy).
    list_->viewport()->unsetCursor();
}

void FileList::ListView1_KeyDown(int key) {
    if (key == Qt::Key_Delete) removeSelected();
}

void FileList::ListView1_DblClick() {
    removeSelected();
}

bool FileList::ListView1_OLEDragOver(const QMimeData* data) {
    return !droppedPaths(data).isEmpty();
}

QStringList FileList::droppedPaths(const QMimeData* data) {
    QStringList paths;
    if (!data || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls()) {
        // A list mixing local files with web addresses is not a list of files.
        if (!url.isLocalFile()) return {};
        QString path = url.toLocalFile();
        // A dropped folder may arrive with a trailing separator; the folder path is rebuilt from it.
        while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) path.chop(1);
        paths << QDir::toNativeSeparators(path);
    }
    return paths;
}

bool FileList::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_) {
        if (event->type() == QEvent::KeyPress) ListView1_KeyDown(static_cast<QKeyEvent*>(event)->key());
        return false;
    }
    if (watched != list_->viewport()) return false;

    switch (event->type()) {
        case QEvent::MouseButtonPress:
            ListView1_MouseDown();
            return false;
        case QEvent::MouseMove: {
            auto* move = static_cast<QMouseEvent*>(event);
            // A release that went elsewhere (to a message box shown mid-drag, say) ends the drag here:
            // otherwise merely moving over the list would go on exchanging entries.
            if (dragging_ && !(move->buttons() & Qt::LeftButton)) ListView1_MouseUp();
            const bool wasDragging = dragging_;
            ListView1_MouseMove(move->position().toPoint());
            // While dragging the list's own selection-by-moving must not interfere with the exchange.
            return wasDragging;
        }
        case QEvent::MouseButtonRelease:
            ListView1_MouseUp();
            return false;
        case QEvent::MouseButtonDblClick:
            ListView1_DblClick();
            return true;
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (ListView1_OLEDragOver(drag->mimeData())) {
                drag->acceptProposedAction();
            } else {
                drag->setDropAction(Qt::IgnoreAction);
                drag->ignore();
            }
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const QStringList paths = droppedPaths(drop->mimeData());
            if (paths.isEmpty()) {
                drop->ignore();
                return true;
            }
            drop->acceptProposedAction();
            // The walk of a dropped folder processes events; it runs after the drop has been
            // answered so that the drag source is not held waiting for it.
            QMetaObject::invokeMethod(
                this,
                [this, paths] {
                    if (onDrop_) onDrop_(paths);
                },
                Qt::QueuedConnection);
            return true;
        }
        default:
            return false;
    }
}

QCursor FileList::dragPointer() {
    if (!dragPointer_) {
        // A missing or unreadable drag.ico keeps the standard arrow.
        const QPixmap picture(dragIconFile_);
        dragPointer_ = picture.isNull() ? QCursor(Qt::ArrowCursor) : QCursor(picture, 0, 0);
    }
    return *dragPointer_;
}

void FileList::forgetDraggedEntry() {
    dragged_ = nullptr;
}

}  // namespace trelwick
