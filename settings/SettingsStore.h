#pragma once

#include <QSet>
#include <QString>
#include <functional>
#include <memory>

#include "util/AppError.h"

class QSettings;

namespace trelwick {

// A write the store refused (code kSettingsWriteFailed); repeated when the write of the same key
// before it was refused too.
class SettingsWriteRefused : public AppError {
  public:
    SettingsWriteRefused(const QString& description, bool repeated)
        : AppError(kSettingsWriteFailed, description), repeated_(repeated) {}
    bool repeated() const noexcept { return repeated_; }

  private:
    bool repeated_;
};

// The per-user store of text values (organisation "Varnix", application "Trelwick", native
// format). Nothing is cached: every read and write goes to the store.
class SettingsStore {
  public:
    // The user's real store.
    SettingsStore();
    // A store kept in the file at filePath (native format), for tests and portable use.
    explicit SettingsStore(QString filePath);

    // The stored text of key, or defaultValue() when the key was never written or cannot be read.
    // The default is evaluated only then, at the moment of reading.
    QString read(const QString& key, const std::function<QString()>& defaultValue) const;
    // The stored text of key, or defaultText when absent.
    QString read(const QString& key, const QString& defaultText) const;

    // Whether key has a stored value.
    bool contains(const QString& key) const;

    // Stores text under key at once; throws SettingsWriteRefused when the store refuses.
    void write(const QString& key, const QString& text);

    // Where the values live (a file path on this platform, a registry path on Windows).
    QString location() const;

  private:
    std::unique_ptr<QSettings> open() const;

    QString filePath_;       // empty: the user's real store
    QSet<QString> refused_;  // keys whose last write was refused
};

}  // namespace trelwick
