#include "FileListHandlers.h"

#include <QCursor>
#include <QPointer>
#include <QTreeWidget>
#include <utility>

#include "AddFolder.h"
#include "FileList.h"
#include "SampleFiles.h"
#include "settings/SettingsStore.h"
#include "util/AppError.h"
#include "util/Dialogs.h"
#include "util/ErrorReport.h"
#include "util/FolderPicker.h"
#include "util/PathHelpers.h"

namespace trelwick {

namespace {}  // namespace

FileListHandlers::Busy FileListHandlers::windowPointerBusy(QWidget* window) {
    QPointer<QWidget> guarded(window);
    Busy busy;
    busy.isBusy = [guarded] { return guarded && guarded->cursor().shape() == Qt::WaitCursor; };
    busy.setBusy = [guarded](bool on) {
        if (!guarded) return;
        if (on) {
            guarded->setCursor(Qt::WaitCursor);
        } else {
            guarded->unsetCursor();
        }
    };
    return busy;
}

FileListHandlers::FileListHandlers(QTreeWidget* listView1, Dialogs& dialogs, SettingsStore& settings,
                                   Busy busy, const QString& samplesFolder)
    : dialogs_(dialogs),
      settings_(settings),
      busy_(std::move(busy)),
      list_(std::make_unique<FileList>(listView1, busy_.isBusy)),
      addFolder_(std::make_unique<AddFolder>(dialogs, *list_)),
      samples_(std::make_unique<SampleFiles>(
          settings, dialogs, samplesFolder.isEmpty() ? SampleFiles::defaultSamplesFolder() : samplesFolder)) {
    setApplicationTitle(QStringLiteral("Trelwick"));
    list_->setDropHandler([this](const QStringList& paths) { ListView1_OLEDragDrop(paths); });
}

FileListHandlers::~FileListHandlers() = default;

void FileListHandlers::setApplicationTitle(const QString& title) {
    applicationTitle_ = [title] { return title; };
}

void FileListHandlers::setApplicationTitle(std::function<QString()> title) {
    applicationTitle_ = std::move(title);
}

void FileListHandlers::PushButton1_Click() {
    ErrorReport report(dialogs_, ErrorReport::form1Tag(QStringLiteral("PushButton1_Click")));
    report.step(100, [&] { list_->clearEntries(); });
}

void FileListHandlers::PushButton3_Click() {
    ErrorReport report(dialogs_, ErrorReport::form1Tag(QStringLiteral("PushButton3_Click")));
    const QString title = QStringLiteral("Add File(s) - Hold Ctrl to select multiple files");
    // "*.*" meant every file on the platform the filter text comes from; "*" says so here.
    const QStringList filters{QStringLiteral("PowerPoint Files (*.p*)"), QStringLiteral("All Files (*)")};

    QStringList chosen;
    bool tooMany = false;
    report.step(112, [&] {
        try {
            chosen = dialogs_.openFiles(title, filters);
        } catch (const AppError& e) {
            if (e.code() != kDialogBufferTooSmall) throw;
            tooMany = true;
        }
    });
    if (tooMany) {
        dialogs_.messageBox(
            QStringLiteral("You've selected too many files to add.\r\rPlease try adding via the "
                           "\"Add All\" button."),
            applicationTitle_(), MessageButtons::Ok, MessageIcon::None);
        return;
    }
    chosen.removeAll(QString());
    if (report.test(114, [&] { return chosen.isEmpty(); })) return;

    if (chosen.size() == 1) {
        // One file goes in exactly as the dialog returned it.
        report.step(122, [&] { list_->addEntry(chosen.front()); });
        return;
    }
    for (const QString& path : chosen) {
        QString normalised;
        report.step(138, [&] { normalised = normalisePath(path); });
        report.step(140, [&] { list_->addEntry(normalised); });
    }
}

void FileListHandlers::PushButton4_Click() {
    ErrorReport report(dialogs_, ErrorReport::form1Tag(QStringLiteral("PushButton4_Click")));
    report.step(100, [&] { samples_->LoadSampleFiles(*list_, applicationTitle_()); });
}

void FileListHandlers::PushButton6_Click() {
    ErrorReport report(dialogs_, ErrorReport::form1Tag(QStringLiteral("PushButton6_Click")));
    const QString prompt = QStringLiteral(
        "Enter file extension to load:\r\r(* for all files, txt for all txt files, doc for all doc files, "
        "etc.)");

    QString answer;
    report.step(100, [&] {
        answer = dialogs_.inputBox(prompt, applicationTitle_(),
                                   settings_.read(QStringLiteral("Extension"), QStringLiteral("ppt")));
        if (!answer.isEmpty()) settings_.write(QStringLiteral("Extension"), answer);
    });
    if (report.test(102, [&] { return answer.isEmpty(); })) return;

    QString folder;
    report.step(104, [&] {
        folder =
            BrowseForFolder(dialogs_, list_->listView()->window(), QStringLiteral("Please select folder:"),
                            settings_.read(QStringLiteral("LastFolder"), QString()));
    });
    if (report.test(106, [&] { return folder.isEmpty(); })) return;
    report.step(333, [&] { lastFolder_ = folder; });
    report.step(334, [&] { settings_.write(QStringLiteral("LastFolder"), folder); });

    // Pressed while a run yields to the window system, the walk must leave the run's hourglass on:
    // it is what keeps "Clear List" and Delete from emptying the list under the run.
    bool wasBusy = false;
    report.step(112, [&] {
        wasBusy = busy_.isBusy && busy_.isBusy();
        if (busy_.setBusy) busy_.setBusy(true);
    });
    QStringList folders;
    report.step(114, [&] { folders = {folder + nativeSeparator()}; });
    report.step(116, [&] { addFolder_->GetSubDirectories2016(folders, true); });
    // The answer is used as typed: "*" gives "*.*", every file.
    addFolder_->addFilesOfFolders(folders, QStringLiteral("*.") + answer, report);
    report.step(136, [&] {
        if (busy_.setBusy) busy_.setBusy(wasBusy);
    });
}

void FileListHandlers::ListView1_OLEDragDrop(const QStringList& paths) {
    // The drop has no report of its own; a failure of one item is reported under the drop's name and
    // the next item goes on.
    ErrorReport report(dialogs_, ErrorReport::form1Tag(QStringLiteral("ListView1_OLEDragDrop")));
    for (const QString& path : paths) {
        bool folder = false;
        report.step(100, [&] { folder = isFolder(path); });
        if (!folder) {
            report.step(102, [&] { list_->addEntry(path); });
            continue;
        }
        QStringList folders;
        report.step(104, [&] { folders = {path + nativeSeparator()}; });
        report.step(106, [&] { addFolder_->GetSubDirectories2016(folders, true); });
        addFolder_->addFilesOfFolders(folders, QStringLiteral("*.*"), report);
    }
}

void FileListHandlers::RecordSampleFiles() {
    samples_->RecordSampleFiles();
}

void FileListHandlers::recordSampleFilesAtFirstStart() {
    if (settings_.read(QStringLiteral("Snapshot"), QString()).isEmpty()) samples_->RecordSampleFiles();
}

}  // namespace trelwick
