#include "ProgramResources.h"

#include <QDir>
#include <QFileInfo>

#include "util/PathHelpers.h"

namespace trelwick {

QString ProgramResources::locate(const QString& name) {
    const QString beside = joinPath(programFolder(), name);
    QStringList candidates{beside,
                           QDir::cleanPath(programFolder() + QStringLiteral("/../share/trelwick/") + name)};
#ifdef TRELWICK_INSTALL_DATADIR
    candidates << QDir::cleanPath(QStringLiteral(TRELWICK_INSTALL_DATADIR) + QLatin1Char('/') + name);
#endif
    for (const QString& candidate : candidates)
        if (QFileInfo::exists(candidate)) return QDir::toNativeSeparators(candidate);
    return beside;
}

}  // namespace trelwick
