#include "SampleFiles.h"

#include <QStringList>
#include <utility>

#include "FileList.h"
#include "ProgramResources.h"
#include "TextScrambler.h"
#include "settings/SettingsStore.h"
#include "util/Dialogs.h"
#include "util/PathHelpers.h"

namespace trelwick {

namespace {

const QString kSnapshotKey = QStringLiteral("Snapshot");

}  // namespace

SampleFiles::SampleFiles(SettingsStore& settings, Dialogs& dialogs, QString samplesFolder)
    : settings_(settings), dialogs_(dialogs), samplesFolder_(std::move(samplesFolder)) {}

QString SampleFiles::defaultSamplesFolder() {
    return ProgramResources::locate(QStringLiteral("Samples"));
}

void SampleFiles::RecordSampleFiles() {
    QStringList paths;
    for (const QString& name : listFolderFiles(samplesFolder_, QStringLiteral("*.*")))
        paths << joinPath(samplesFolder_, name);
    settings_.write(kSnapshotKey,
                    TextScrambler::ScrambleText(paths.join(QLatin1Char('|')), TextScrambler::key()));
}

void SampleFiles::LoadSampleFiles(FileList& list, const QString& applicationTitle) {
    const QString recorded =
        TextScrambler::UnscrambleText(settings_.read(kSnapshotKey, QString()), TextScrambler::key());
    if (!recorded.isEmpty()) {
        for (const QString& path : recorded.split(QLatin1Char('|')))
            if (fileExists(path) && !IsInList(list, path)) list.addEntry(path);
    }
    const MessageResult answer = dialogs_.messageBox(
        QStringLiteral("Would you like this software to open the folder where these sample files are stored "
                       "(so that you can view them before working with them)?"),
        applicationTitle, MessageButtons::YesNo, MessageIcon::None);
    // Whether the desktop could open the folder is not looked at.
    if (answer == MessageResult::Yes) dialogs_.openExternally(samplesFolder_);
}

bool SampleFiles::IsInList(const FileList& list, const QString& path) {
    for (int i = 1; i <= list.count(); ++i)
        if (list.text(i) == path) return true;
    return false;
}

}  // namespace trelwick
