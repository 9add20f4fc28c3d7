#pragma once

#include <QString>
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

    FakeDialogs dialogs;
    FunctionPowerPointFactory factory;
    Form1 form;
    std::unique_ptr<FileListHandlers> fileList;
    std::unique_ptr<BatchRun> batchRun;
};

}  // namespace trelwick::testing
