#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QTreeWidget;
class QWidget;

namespace trelwick {

class AddFolder;
class Dialogs;
class FileList;
class SampleFiles;
class SettingsStore;

// The main window's handlers that fill and empty the file list: "Clear List", "Add PowerPoint
// File(s)", "Load Sample/Example Files", "Add All File(s) In Folder" and the drop of files and folders.
// The window keeps its controls and hands ListView1 over; the busy state is its hourglass pointer.
class FileListHandlers {
  public:
    struct Busy {
        std::function<bool()> isBusy;       // the main window shows the hourglass
        std::function<void(bool)> setBusy;  // show the hourglass (true) or the default pointer
    };

    // The busy state as the pointer of window: the hourglass (Qt::WaitCursor) means busy.
    static Busy windowPointerBusy(QWidget* window);

    // Takes over listView1 (owned by the window). samplesFolder "" means the program's own.
    FileListHandlers(QTreeWidget* listView1, Dialogs& dialogs, SettingsStore& settings, Busy busy,
                     const QString& samplesFolder = QString());
    ~FileListHandlers();

    // Title of the message boxes that name no title of their own; "Trelwick" until set.
    void setApplicationTitle(const QString& title);
    // The same, read from the window each time a message box is shown.
    void setApplicationTitle(std::function<QString()> title);

    // "Clear List": removes every entry unless busy.
    void PushButton1_Click();
    // "Add PowerPoint File(s)": the multi-select open dialog; appends the chosen files in order.
    void PushButton3_Click();
    // "Load Sample/Example Files": adds the recorded samples not listed yet, offers to open their folder.
    void PushButton4_Click();
    // "Add All File(s) In Folder": asks for an extension and a folder, then adds the tree's files.
    void PushButton6_Click();
    // Files dropped on the list: each file as dropped, each folder's tree with every extension.
    void ListView1_OLEDragDrop(const QStringList& paths);

    // Records the samples into "Snapshot" (scrambled); the window's load step calls it when that reads empty.
    void RecordSampleFiles();

    // The load step's sample snapshot: RecordSampleFiles() when "Snapshot" reads as the empty text.
    void recordSampleFilesAtFirstStart();

    FileList& fileList() { return *list_; }
    const FileList& fileList() const { return *list_; }
    SampleFiles& sampleFiles() { return *samples_; }

  private:
    Dialogs& dialogs_;
    SettingsStore& settings_;
    Busy busy_;
    std::function<QString()> applicationTitle_;
    QString lastFolder_;
    std::unique_ptr<FileList> list_;
    std::unique_ptr<AddFolder> addFolder_;
    std::unique_ptr<SampleFiles> samples_;
};

}  // namespace trelwick
