#pragma once

#include <QChar>
#include <QString>
#include <QStringList>
#include <optional>

namespace trelwick {

// File attribute bits as the rest of the program compares them (whole values, e.g. 34 = hidden + archive).
enum FileAttribute : int {
    kAttrReadOnly = 1,
    kAttrHidden = 2,
    kAttrSystem = 4,
    kAttrFolder = 16,
    kAttrArchive = 32,
    kAttrReparsePoint = 1024,
};

// Which separator and network-prefix rule path normalisation follows.
enum class PathStyle { Windows, Posix };

// The style of the platform the program runs on.
PathStyle nativePathStyle();

// The platform's path separator: '\' on Windows, '/' elsewhere.
QChar nativeSeparator();

// Replaces each pair of separators by one, left to right without overlap (a run of three becomes two).
// A path starting with separators keeps exactly one leading separator (Posix) or two (Windows, the
// network prefix). The empty path stays empty.
QString normalisePath(const QString& path, PathStyle style = nativePathStyle());

// The raw attribute value of the path (the link itself for a symbolic link), or nullopt when it
// cannot be read. On POSIX: folder 16, hidden 2 for a dot-name, system 4 for a dot-folder, archive
// 32 for a regular file, read-only 1 when the owner may not write, reparse point 1024 for a link.
std::optional<int> fileAttributes(const QString& path);

// True when the last-change time of the path can be read: an existing file or folder.
bool fileExists(const QString& path);

// True when the attributes of the path can be read and carry the folder bit.
bool isFolder(const QString& path);

// True when the path names an existing file (not a folder) that can be opened for attribute
// queries; false for folders, missing paths and dangling links.
bool isOpenableFile(const QString& path);

// The text after the last native separator; the whole path when it has none, "" when it ends with one.
QString fileNameOfPath(const QString& path);

// True when the name holds a control character (below 32, or 127 to 159) or "?"; false for "".
bool isUnusableName(const QString& name);

// Names (not paths) of the files directly in folder that match the wildcard pattern ("*" any run,
// "?" one character; "*.*" every name; letters in any case, as on Windows), hidden files included,
// folders excluded, each passing isOpenableFile, in the order the file system lists them. Empty
// when nothing matches or the folder does not exist; throws AppError when the folder cannot be read.
// A matching name whose bytes are not in the file-name encoding cannot be opened by a path built from
// it: it is left out and counted in undecodable, when given.
QStringList listFolderFiles(const QString& folder, const QString& pattern, int* undecodable = nullptr);

// True when the last name of path holds U+FFFD, which stands for bytes not in the file-name encoding,
// and the folder before it holds a folder (or a link to one) of that name: a path that names such a
// folder but cannot open it. False on Windows, where every name can be decoded.
bool isUndecodableFolder(const QString& path);

// The folder holding the running executable, without a trailing separator (except a root).
QString programFolder();

// folder + separator + name, without doubling a separator that folder already ends with.
QString joinPath(const QString& folder, const QString& name);

}  // namespace trelwick
