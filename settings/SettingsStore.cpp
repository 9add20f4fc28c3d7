#include "SettingsStore.h"

#include <QFileInfo>
#include <QSettings>
#include <QStringList>

#include "util/AppError.h"

namespace trelwick {

namespace {

// Why the store's file could not be written, for the user: the usual cause is a home or
// configuration folder that is missing, read-only or not a folder, so the nearest existing part
// of the path is what gets named.
QString whyNotWritten(const QString& fileName) {
    const QFileInfo file(fileName);
    if (file.exists())
        return file.isWritable() ? QStringLiteral("the file could not be written")
                                 : QStringLiteral("the file is read-only");
    QString path = file.absolutePath();
    while (!QFileInfo::exists(path) && QFileInfo(path).path() != path) path = QFileInfo(path).path();
    const QFileInfo nearest(path);
    if (!nearest.isDir()) return QStringLiteral("%1 is a file, not a folder").arg(path);
    if (!nearest.isWritable()) return QStringLiteral("the folder %1 is read-only").arg(path);
    return QStringLiteral("its folder could not be created");
}

}  // namespace

SettingsStore::SettingsStore() = default;

SettingsStore::SettingsStore(QString filePath) : filePath_(std::move(filePath)) {}

std::unique_ptr<QSettings> SettingsStore::open() const {
    if (filePath_.isEmpty())
        return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                           QStringLiteral("Varnix"), QStringLiteral("Trelwick"));
    return std::make_unique<QSettings>(filePath_, QSettings::NativeFormat);
}

QString SettingsStore::read(const QString& key, const std::function<QString()>& defaultValue) const {
    const auto settings = open();
    const QVariant value = settings->status() == QSettings::NoError ? settings->value(key) : QVariant();
    if (!value.isValid()) return defaultValue ? defaultValue() : QString();
    // A hand-edited file may hold an unquoted list ("a, b"); it is still one text to us.
    if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

QString SettingsStore::read(const QString& key, const QString& defaultText) const {
    return read(key, [&defaultText] { return defaultText; });
}

bool SettingsStore::contains(const QString& key) const {
    return open()->contains(key);
}

void SettingsStore::write(const QString& key, const QString& text) {
    const auto settings = open();
    settings->setValue(key, text);
    settings->sync();
    const QSettings::Status status = settings->status();
    // A file that could not be parsed is rewritten whole by the sync, yet the status keeps the
    // reading error: what counts is whether the value is now stored.
    if (status == QSettings::NoError ||
        (status == QSettings::FormatError && open()->value(key).toString() == text)) {
        refused_.remove(key);
        return;
    }
    const bool repeated = refused_.contains(key);
    refused_.insert(key);
    throw SettingsWriteRefused(
        QStringLiteral("Could not save the setting \"%1\" in %2: %3. The program goes on, but will "
                       "not remember this setting.")
            .arg(key, settings->fileName(), whyNotWritten(settings->fileName())),
        repeated);
}

QString SettingsStore::location() const {
    return open()->fileName();
}

}  // namespace trelwick
