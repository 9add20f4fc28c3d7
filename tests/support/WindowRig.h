#pragma once

#include <QLineEdit>
#include <QString>
#include <QStringList>
#include <memory>

#include "app/Form1.h"
#include "app/Form1Environment.h"
#include "batch/BatchRun.h"
#include "batch/PowerPointFactory.h"
#include "filelist/FileListHandlers.h"
#include "support/FakeDialogs.h"

namespace trelwick {
class SettingsStore;
}

namespace trelwick::testing {

// The main window wired as the program wires it (file list and "Start Adding"), with scripted
// dialogs and the real engine behind the automation objects.
class WindowRig {
  public:
    WindowRig(SettingsStore& store, const Form1Environment& env);

    // The running program's environment with the Desktop at desktop (the default output folder),
    // the home page never drawn and no program exit.
    static Form1Environment environment(const QString& desktop);

    // Runs Form_Load, shows the window and waits until it is on screen.
    [[nodiscard]] bool loadAndShow();

    // A window as a user finds it at start: its settings in store (made at folder/config/Trelwick.conf,
    // kept by the caller, as it must outlive the window), its Desktop at folder/desk, loaded, shown, and
    // the dialogs of loading forgotten.
    static std::unique_ptr<WindowRig> startIn(const QString& folder, std::unique_ptr<SettingsStore>& store);

    // The list's entries, top to bottom.
    QStringList listed() const;
    // The output folder typed into its field, as a user types it.
    void typeOutputFolder(const QString& folder);

    FakeDialogs dialogs;
    FunctionPowerPointFactory factory;
    Form1 form;
    std::unique_ptr<FileListHandlers> fileList;
    std::unique_ptr<BatchRun> batchRun;
};

// Types text into field as a user would: key by key, or pasted where keys cannot give it.
void typeInto(QLineEdit* field, const QString& text);

// The texts of the dialogs called, in order.
QStringList dialogTexts(const std::vector<FakeDialogs::Call>& calls);

}  // namespace trelwick::testing
