#include <QApplication>
#include <memory>
#ifndef _WIN32
#include <csignal>
#endif

#include "BatchWiring.h"
#include "FileListWiring.h"
#include "Form1.h"
#include "batch/BatchRun.h"
#include "batch/PowerPointFactory.h"
#include "filelist/FileListHandlers.h"
#include "settings/SettingsStore.h"
#include "trelwick/engine.h"
#include "util/QtDialogs.h"

int main(int argc, char* argv[]) {
    trelwick::engine::keepLocalTimeZone();
    trelwick::engine::keepFreedMemory();
    trelwick::engine::keepStackForDecks();
#ifndef _WIN32
    // A save past the file-size limit then fails with an error the run reports for that file,
    // instead of killing the window.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    QApplication app(argc, argv);
    trelwick::QtDialogs dialogs;
    trelwick::SettingsStore settings;
    // The presentation engine is linked into the program, so the automation object can always be
    // created here; the automation layer supplies the objects that do the work.
    trelwick::FunctionPowerPointFactory powerPoint(
        [] { return std::make_unique<trelwick::PowerPointApplication>(); });

    trelwick::Form1 form(dialogs, settings, powerPoint, trelwick::Form1Environment::standard());
    const auto fileList = trelwick::wireFileList(form);
    const auto batchRun = trelwick::wireBatchRun(form, fileList->fileList());
    if (!form.Form_Load()) return 0;
    form.show();
    return app.exec();
}
