#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>

namespace trelwick {

class Dialogs;
class ErrorReport;
class FileList;

// The folder walk shared by "Add All File(s) In Folder" and the drop of folders: collects a folder
// tree breadth-first, then adds the files of every collected folder to the file list.
class AddFolder {
  public:
    AddFolder(Dialogs& dialogs, FileList& list);

    // Extends folders (paths ending with a separator) in place with every folder below them that may
    // be walked, level by level; folders that cannot be read, or were already walked through another
    // path (a link), are removed. Failures outside the listing of sub-folders are reported.
    void GetSubDirectories2016(QStringList& folders, bool recursive);

    // Adds, normalised, the files of each folder matching pattern, except names starting with "~",
    // files that cannot be opened and files whose attributes are exactly hidden + archive (34).
    // Failures are reported through report, under the steps of the caller's numbering.
    void addFilesOfFolders(const QStringList& folders, const QString& pattern, ErrorReport& report);

    // The location tag of the walk's own error report.
    static QString locationTag();

  private:
    // tooLong gathers the folders whose sub-folders were passed over for the length of their path;
    // undecodable the sub-folders passed over as their names are not valid in the file-name encoding.
    void walk(QStringList& folders, bool recursive, QSet<QString>& walked, QStringList& tooLong,
              QStringList& undecodable);
    static bool mayDescend(const QString& folder);

    Dialogs& dialogs_;
    FileList& list_;
};

}  // namespace trelwick
