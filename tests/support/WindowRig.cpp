#include "WindowRig.h"

#include <QtTest>

#include "app/BatchWiring.h"
#include "app/FileListWiring.h"
#include "batch/PowerPointApplication.h"

namespace trelwick::testing {

WindowRig::WindowRig(SettingsStore& store, const Form1Environment& env)
    : factory([] { return std::make_unique<PowerPointApplication>(); }),
      form(dialogs, store, factory, env),
      fileList(wireFileList(form)),
      batchRun(wireBatchRun(form, fileList->fileList())) {}

Form1Environment WindowRig::environment(const QString& desktop) {
    Form1Environment env = Form1Environment::standard();
    env.drawOneToHundred = [] { return 50; };
    env.endProgram = [] {};
    env.desktopFolderPath = [desktop] { return desktop.endsWith(QLatin1Char('/')) ? desktop : desktop + QLatin1Char('/'); };
    return env;
}

bool WindowRig::loadAndShow() {
    if (!form.Form_Load()) return false;
    form.show();
    return QTest::qWaitForWindowExposed(&form);
}

}  // namespace trelwick::testing
