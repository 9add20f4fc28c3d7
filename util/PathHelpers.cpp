#include "PathHelpers.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "AppError.h"

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#endif

namespace trelwick {

PathStyle nativePathStyle() {
#ifdef Q_OS_WIN
    return PathStyle::Windows;
#else
    return PathStyle::Posix;
#endif
}

QChar nativeSeparator() {
    return QDir::separator();
}

namespace {

QString collapsePairs(const QString& text, QChar sep) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        out.append(text[i]);
        if (text[i] == sep && i + 1 < text.size() && text[i + 1] == sep) ++i;
    }
    return out;
}

}  // namespace

QString normalisePath(const QString& path, PathStyle style) {
    const QChar sep = style == PathStyle::Windows ? QLatin1Char('\\') : QLatin1Char('/');
    if (path.isEmpty() || path[0] != sep) return collapsePairs(path, sep);
    qsizetype rest = 1;
    while (rest < path.size() && path[rest] == sep) ++rest;
    // Windows keeps a network prefix of two; POSIX has none, so a leading run means the root.
    const QString prefix = style == PathStyle::Windows ? QString(2, sep) : QString(1, sep);
    return prefix + collapsePairs(path.mid(rest), sep);
}

#ifdef Q_OS_WIN

std::optional<int> fileAttributes(const QString& path) {
    const DWORD a = GetFileAttributesW(reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(path).utf16()));
    if (a == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    return static_cast<int>(a);
}

bool fileExists(const QString& path) {
    if (path.isEmpty()) return false;
    return QFileInfo(path).lastModified().isValid();
}

bool isOpenableFile(const QString& path) {
    if (path.isEmpty()) return false;
    HANDLE h = CreateFileW(reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(path).utf16()), 0,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

#else

namespace {

bool statPath(const QString& path, struct stat& st, bool followLink) {
    if (path.isEmpty()) return false;
    const QByteArray native = QFile::encodeName(path);
    return (followLink ? ::stat(native.constData(), &st) : ::lstat(native.constData(), &st)) == 0;
}

}  // namespace

std::optional<int> fileAttributes(const QString& path) {
    struct stat link {};
    if (!statPath(path, link, false)) return std::nullopt;
    int attributes = 0;
    struct stat target = link;
    if (S_ISLNK(link.st_mode)) {
        attributes |= kAttrReparsePoint;
        // A link to a folder is a folder too, as a directory junction is on Windows.
        if (!statPath(path, target, true)) target = link;
    }
    const bool folder = S_ISDIR(target.st_mode);
    QString name = fileNameOfPath(path);
    if (name.isEmpty()) name = QFileInfo(QDir::cleanPath(path)).fileName();
    const bool hidden =
        name.startsWith(QLatin1Char('.')) && name != QLatin1String(".") && name != QLatin1String("..");
    if (folder) attributes |= kAttrFolder;
    if (S_ISREG(target.st_mode)) attributes |= kAttrArchive;
    if (hidden) attributes |= kAttrHidden;
    if (hidden && folder) attributes |= kAttrSystem;
    if (!(target.st_mode & S_IWUSR)) attributes |= kAttrReadOnly;
    return attributes;
}

bool fileExists(const QString& path) {
    struct stat st {};
    return statPath(path, st, true);
}

bool isOpenableFile(const QString& path) {
    // An attribute-only open needs no permission on the file itself, only that it exists and is a
    // file; special files (pipes, devices) are not presentations and could block a real open.
    struct stat st {};
    return statPath(path, st, true) && S_ISREG(st.st_mode);
}

#endif

bool isFolder(const QString& path) {
    const std::optional<int> attributes = fileAttributes(path);
    return attributes && (*attributes & kAttrFolder);
}

QString fileNameOfPath(const QString& path) {
    const qsizetype last = path.lastIndexOf(nativeSeparator());
    return last < 0 ? path : path.mid(last + 1);
}

bool isUnusableName(const QString& name) {
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        if (u < 32 || (u >= 127 && u <= 159) || u == u'?') return true;
    }
    return false;
}

QStringList listFolderFiles(const QString& folder, const QString& pattern, int* undecodable) {
    QString base = folder;
    if (!base.endsWith(nativeSeparator())) base += nativeSeparator();
    // "*.*" is the everything-pattern of the callers, also for names without a dot.
    const QString effective = pattern == QLatin1String("*.*") ? QStringLiteral("*") : pattern;
    QStringList names;
    names.reserve(100);
#ifdef Q_OS_WIN
    QDir dir(base);
    if (!dir.exists()) return names;
    dir.setFilter(QDir::Files | QDir::Hidden | QDir::System);
    dir.setSorting(QDir::Unsorted);
    dir.setNameFilters({effective});
    for (const QString& name : dir.entryList())
        if (isOpenableFile(base + name)) names.append(name);
#else
    DIR* dir = ::opendir(QFile::encodeName(base).constData());
    if (!dir) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) return names;
        if (error == EACCES || error == EPERM)
            throw AppError(kPermissionDenied, QStringLiteral("Permission denied: %1").arg(folder));
        throw AppError(kPathNotFound, QStringLiteral("Cannot read folder %1: %2")
                                          .arg(folder, QString::fromLocal8Bit(std::strerror(error))));
    }
    const QByteArray glob = QFile::encodeName(effective);
    // Wildcards match as they do where the program comes from: "pptx" also finds DECK.PPTX, as
    // trelwick-cli does.
    while (const dirent* entry = ::readdir(dir)) {
        const char* raw = entry->d_name;
        if (std::strcmp(raw, ".") == 0 || std::strcmp(raw, "..") == 0) continue;
        if (::fnmatch(glob.constData(), raw, FNM_CASEFOLD) != 0) continue;
        const QString name = QFile::decodeName(raw);
        if (QFile::encodeName(name) != QByteArray(raw)) {
            // Told only of files, as only files are listed: a folder or a dangling link is passed over.
            struct stat st {};
            if (undecodable && ::stat((QFile::encodeName(base) + raw).constData(), &st) == 0 &&
                S_ISREG(st.st_mode))
                ++*undecodable;
            continue;
        }
        if (isOpenableFile(base + name)) names.append(name);
    }
    ::closedir(dir);
#endif
    return names;
}

bool isUndecodableFolder(const QString& path) {
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    return false;
#else
    const qsizetype last = path.lastIndexOf(nativeSeparator());
    const QString wanted = path.mid(last + 1);
    if (last < 0 || !wanted.contains(QChar::ReplacementCharacter)) return false;
    const QByteArray folder = QFile::encodeName(path.left(last + 1));
    DIR* dir = ::opendir(folder.constData());
    if (!dir) return false;
    bool found = false;
    while (const dirent* entry = ::readdir(dir)) {
        const char* raw = entry->d_name;
        const QString name = QFile::decodeName(raw);
        if (QFile::encodeName(name) == QByteArray(raw) || name != wanted) continue;
        struct stat st {};
        found = ::stat((folder + raw).constData(), &st) == 0 && S_ISDIR(st.st_mode);
        if (found) break;
    }
    ::closedir(dir);
    return found;
#endif
}

QString programFolder() {
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
}

QString joinPath(const QString& folder, const QString& name) {
    return normalisePath(folder + nativeSeparator() + name);
}

}  // namespace trelwick
