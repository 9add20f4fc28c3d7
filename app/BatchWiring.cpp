#include "BatchWiring.h"

#include <QProgressBar>

#include "Form1.h"
#include "batch/BatchRun.h"
#include "filelist/FileList.h"

namespace trelwick {

std::unique_ptr<BatchRun> wireBatchRun(Form1& form, const FileList& list) {
    BatchRunWindow window;
    window.entryCount = [&list] { return list.count(); };
    window.entryText = [&list](int position) { return list.text(position); };
    window.choices = [&form] { return form.currentChoices(); };
    window.outputFolder = [&form] { return form.outputFolder(); };
    window.setProgressValue = [&form](int value) {
        // A progress bar repaints at once when its value changes; held back, the value is painted
        // with the file name that follows it, at the run's next event pass: one paint per deck.
        form.ProgressBar1->setUpdatesEnabled(false);
        form.ProgressBar1->setValue(value);
        form.ProgressBar1->setUpdatesEnabled(true);
    };
    // The bar's format replaces %p, %v and %m and has no escape: an invisible word joiner after each
    // "%" keeps a file name such as "50%value.pptx" as it is.
    window.setProgressText = [&form](const QString& text) {
        form.ProgressBar1->setFormat(QString(text).replace(QLatin1Char('%'), QStringLiteral("%\u2060")));
    };
    window.setBusy = [&form](bool on) {
        form.setMousePointer(on ? Form1::Pointer::Hourglass : Form1::Pointer::Default);
    };
    window.applicationTitle = [&form] { return form.applicationTitle(); };

    auto run = std::make_unique<BatchRun>(form.dialogs(), form.powerPoint(), std::move(window));
    BatchRun* r = run.get();
    form.seams.PushButton7_Click = [r] { r->PushButton7_Click(); };
    form.seams.FinishHandedSaves = [r] { r->finishHandedSaves(); };
    return run;
}

}  // namespace trelwick
