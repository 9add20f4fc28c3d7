#pragma once

#include <QString>
#include <QTemporaryDir>

namespace trelwick::testing {

// A real folder tree under a fresh temporary folder, removed again at the end of the test.
class TempTree {
  public:
    TempTree();

    // Full path of relative (no trailing separator); the root itself for "".
    QString path(const QString& relative = QString()) const;

    // Creates the folder (and its parents); returns its full path.
    QString folder(const QString& relative) const;

    // Creates a file holding a few bytes (and its folders); returns its full path.
    QString file(const QString& relative) const;

    // Creates a symbolic link at relative pointing to target; returns the link's full path.
    QString link(const QString& relative, const QString& target) const;

  private:
    QTemporaryDir dir_;
};

}  // namespace trelwick::testing
