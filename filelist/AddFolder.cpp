#include "AddFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <filesystem>
#include <system_error>

#include "FileList.h"
#include "util/AppError.h"
#include "util/ErrorReport.h"
#include "util/PathHelpers.h"

namespace trelwick {

namespace {

constexpr int kMaxPathLength = 260;
constexpr int kHiddenSystemFolder = kAttrHidden | kAttrSystem | kAttrFolder;      // 22
constexpr int kHiddenSystemFolderLink = kHiddenSystemFolder | kAttrReparsePoint;  // 1046
constexpr int kHiddenArchiveFile = kAttrHidden | kAttrArchive;                    // 34
// Adding the files of a huge folder yields to the window system this often (milliseconds): often enough
// to repaint, rarely enough that relaying out a long list does not dominate the work.
constexpr qint64 kMillisecondsBetweenEvents = 40;

void processEvents() {
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
}

std::filesystem::path toFsPath(const QString& path) {
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

QString fromFsName(const std::filesystem::path& name) {
#ifdef Q_OS_WIN
    return QString::fromStdWString(name.native());
#else
    return QFile::decodeName(QByteArray::fromStdString(name.native()));
#endif
}

int failureCode(const std::error_code& error) {
    if (error == std::errc::permission_denied || error == std::errc::operation_not_permitted)
        return kPermissionDenied;
    if (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory)
        return kPathNotFound;
    return kInvalidCall;
}

// True when name, as the file system gives it, is not valid in the file-name encoding: decoded, its bytes
// turn into U+FFFD and the name no longer finds the folder.
bool isUndecodableName(const std::filesystem::path& name) {
#ifdef Q_OS_WIN
    Q_UNUSED(name);
    return false;
#else
    const QByteArray raw = QByteArray::fromStdString(name.native());
    return QFile::encodeName(QFile::decodeName(raw)) != raw;
#endif
}

// Calls onSubFolder with the name of each direct sub-folder of folder (links to folders included), in
// the file system's order, and whether that name could not be decoded. Gives 0, or the failure code of
// the listing; names before a failure count.
template <typename OnSubFolder>
int listSubFolders(const QString& folder, OnSubFolder onSubFolder) {
    std::error_code error;
    std::filesystem::directory_iterator it(toFsPath(folder), error);
    if (error) return failureCode(error);
    for (const std::filesystem::directory_iterator end; it != end; it.increment(error)) {
        std::error_code typeError;
        if (it->is_directory(typeError)) {
            const std::filesystem::path name = it->path().filename();
            onSubFolder(fromFsName(name), isUndecodableName(name));
        }
    }
    return error ? failureCode(error) : 0;
}

bool isUsableFolderName(const QString& name) {
    // A name whose bytes are not valid in the file-name encoding cannot be rebuilt into a path.
    return name.size() < kMaxPathLength && !isUnusableName(name) && !name.contains(QLatin1Char('?')) &&
           !name.contains(QChar::ReplacementCharacter) && name != QLatin1String(".") &&
           name != QLatin1String("..");
}

// One report for all the folders a walk passed over for one reason: the first by name (%1 of each
// text), the rest counted (%2 of the text for several; filled at once, so a name holding "%2" stays).
void tellPassedOver(Dialogs& dialogs, int step, const QStringList& folders, const QString& one,
                    const QString& several) {
    if (folders.isEmpty()) return;
    ErrorReport report(dialogs, AddFolder::locationTag());
    report.step(step, [&] {
        throw AppError(kPathNotFound, folders.size() == 1 ? one.arg(folders.front())
                                                          : several.arg(folders.front(),
                                                                        QString::number(folders.size() - 1)));
    });
}

}  // namespace

AddFolder::AddFolder(Dialogs& dialogs, FileList& list) : dialogs_(dialogs), list_(list) {}

QString AddFolder::locationTag() {
    return ErrorReport::locationTag(QStringLiteral("Orlinth"), QStringLiteral("AddFolder"),
                                    QStringLiteral("GetSubDirectories2016"));
}

void AddFolder::GetSubDirectories2016(QStringList& folders, bool recursive) {
    QSet<QString> walked;
    QStringList tooLong;
    QStringList undecodable;
    walk(folders, recursive, walked, tooLong, undecodable);
    // Left out without a word, the user could not tell the files below them were never listed.
    const QString limit = QString::number(kMaxPathLength);
    tellPassedOver(dialogs_, 110, tooLong,
                   QStringLiteral("%1: the folders inside it were not searched, as its path has ") + limit +
                       QStringLiteral(" characters or more; their files were not added."),
                   QStringLiteral("%1 and %2 more: the folders inside them were not searched, as their "
                                  "paths have ") +
                       limit + QStringLiteral(" characters or more; their files were not added."));
    // They cannot be opened by the name they decode to, only renamed; silently, their decks were lost.
    tellPassedOver(dialogs_, 116, undecodable,
                   QStringLiteral("%1: a folder whose name is not valid UTF-8 was not searched; its files "
                                  "were not added. Rename it and add it again."),
                   QStringLiteral("%1 and %2 more: folders whose names are not valid UTF-8 were not "
                                  "searched; their files were not added. Rename them and add them again."));
}

bool AddFolder::mayDescend(const QString& folder) {
    if (QDir(folder).isRoot()) return true;
    const std::optional<int> attributes = fileAttributes(folder);
    return attributes && *attributes != kHiddenSystemFolder && *attributes != kHiddenSystemFolderLink;
}

void AddFolder::walk(QStringList& folders, bool recursive, QSet<QString>& walked, QStringList& tooLong,
                     QStringList& undecodable) {
    ErrorReport report(dialogs_, locationTag());
    const QChar separator = nativeSeparator();
    QStringList subFolders;
    report.step(104, [&] { subFolders.reserve(folders.size()); });

    const QStringList onEntry = folders;
    for (const QString& folder : onEntry) {
        if (report.test(108, [&] { return !isFolder(folder); })) continue;
        if (report.test(110, [&] { return folder.size() >= kMaxPathLength; })) {
            bool holdsFolders = false;
            listSubFolders(folder, [&](const QString& name, bool) {
                holdsFolders = holdsFolders || isUsableFolderName(name);
            });
            if (holdsFolders) tooLong.append(folder);
            continue;
        }
        // A link back to a folder already walked would repeat its files, or never end in a loop.
        bool repeated = false;
        report.step(112, [&] {
            QString identity = QFileInfo(folder).canonicalFilePath();
            if (identity.isEmpty()) identity = folder;
            repeated = walked.contains(identity);
            if (!repeated) walked.insert(identity);
        });
        if (repeated) {
            folders.removeOne(folder);
            continue;
        }
        report.step(114, [] { processEvents(); });
        // A folder that vanished meanwhile is dropped like one that cannot be read.
        if (report.test(116, [&] { return !fileAttributes(folder).has_value(); })) {
            folders.removeOne(folder);
            continue;
        }
        if (report.test(116, [&] { return !mayDescend(folder); })) continue;

        // Listing the sub-folders has its own failure path: no report, and a folder that cannot be
        // read (permission denied, path not found) is dropped together with its files.
        int failure = 0;
        try {
            failure = listSubFolders(folder, [&](const QString& name, bool undecodableName) {
                processEvents();
                if (isUsableFolderName(name))
                    subFolders.append(folder + name + separator);
                else if (undecodableName)
                    undecodable.append(folder + name);
            });
        } catch (const AppError& e) {
            failure = e.code();
        } catch (...) {
            failure = kInvalidCall;
        }
        if (failure == kPermissionDenied || failure == kPathNotFound) folders.removeOne(folder);
    }

    if (recursive && !subFolders.isEmpty())
        report.step(150, [&] { walk(subFolders, true, walked, tooLong, undecodable); });

    for (const QString& subFolder : subFolders) {
        if (report.test(154, [&] { return !isFolder(subFolder); })) continue;
        report.step(156, [] { processEvents(); });
        if (report.test(158, [&] { return !mayDescend(subFolder); })) continue;
        report.step(160, [&] { folders.append(subFolder); });
    }
}

void AddFolder::addFilesOfFolders(const QStringList& folders, const QString& pattern, ErrorReport& report) {
    const QChar separator = nativeSeparator();
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    for (const QString& entry : folders) {
        QString folder;
        QStringList names;
        report.step(120, [&] { folder = entry.endsWith(separator) ? entry.chopped(1) : entry; });
        int undecodable = 0;
        report.step(122, [&] {
            names = listFolderFiles(folder.isEmpty() ? QString(separator) : folder, pattern, &undecodable);
        });
        for (const QString& name : names) {
            if (report.test(126, [&] { return name.startsWith(QLatin1Char('~')); })) continue;
            QString path;
            report.step(128, [&] { path = folder + separator + name; });
            report.step(132, [&] {
                if (isOpenableFile(path) && fileAttributes(path) != kHiddenArchiveFile)
                    list_.addEntry(normalisePath(path));
            });
            if (sinceEvents.hasExpired(kMillisecondsBetweenEvents)) {
                processEvents();
                sinceEvents.restart();
            }
        }
        // Left out without a word, the user could not tell those files were never stamped.
        if (undecodable > 0)
            report.step(122, [&] {
                throw AppError(
                    kPathNotFound,
                    undecodable == 1
                        ? QStringLiteral("%1: a file whose name is not valid UTF-8 was not added; "
                                         "rename it to add it.")
                              .arg(folder)
                        : QStringLiteral("%1: %2 files whose names are not valid UTF-8 were not added; "
                                         "rename them to add them.")
                              .arg(folder)
                              .arg(undecodable));
            });
        report.step(134, [] { processEvents(); });
    }
}

}  // namespace trelwick
