#include "TempTree.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <stdexcept>

namespace trelwick::testing {

TempTree::TempTree() {
    if (!dir_.isValid()) throw std::runtime_error("cannot create a temporary folder");
}

QString TempTree::path(const QString& relative) const {
    return relative.isEmpty() ? dir_.path() : dir_.path() + QLatin1Char('/') + relative;
}

QString TempTree::folder(const QString& relative) const {
    const QString full = path(relative);
    if (!QDir().mkpath(full)) throw std::runtime_error("cannot create folder " + full.toStdString());
    return full;
}

QString TempTree::file(const QString& relative) const {
    const QString full = path(relative);
    QDir().mkpath(QFileInfo(full).path());
    QFile f(full);
    if (!f.open(QIODevice::WriteOnly)) throw std::runtime_error("cannot create file " + full.toStdString());
    f.write("sample");
    return full;
}

QString TempTree::link(const QString& relative, const QString& target) const {
    const QString full = path(relative);
    QDir().mkpath(QFileInfo(full).path());
    if (!QFile::link(target, full)) throw std::runtime_error("cannot create link " + full.toStdString());
    return full;
}

}  // namespace trelwick::testing
