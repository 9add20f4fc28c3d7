#pragma once

#include <QString>

#include "util/PlainFrame.h"

class QLineEdit;
class QPushButton;

namespace trelwick {

class Dialogs;
class SettingsStore;

// Frame3 "Save Results To This Folder": the output folder field Text6 and its "..." button
// PushButton5, which picks the folder. Every change of Text6 is stored under "Text6".
class OutputFolderFrame : public PlainFrame {
    Q_OBJECT
  public:
    OutputFolderFrame(SettingsStore& settings, Dialogs& dialogs, QWidget* parent = nullptr);

    // The output folder text as Text6 holds it now.
    QString outputFolder() const;

    // Sets Text6; when the text differs, Text6_Change runs at once and its failure is the caller's.
    void setOutputFolder(const QString& text);

    // Stores the whole text of Text6 under "Text6"; throws AppError when the store refuses.
    void Text6_Change();

    // The "..." button: picks a folder starting at "LastFolderDot", remembers it, and puts it into
    // Text6 with a trailing separator. Reports failures as Form1.PushButton5_Click, steps 100-108.
    void PushButton5_Click();

    QLineEdit* Text6 = nullptr;
    QPushButton* PushButton5 = nullptr;

  private:
    SettingsStore& settings_;
    Dialogs& dialogs_;
};

}  // namespace trelwick
