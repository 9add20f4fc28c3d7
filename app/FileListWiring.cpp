#include "FileListWiring.h"

#include "Form1.h"
#include "filelist/FileList.h"
#include "filelist/FileListHandlers.h"

namespace trelwick {

std::unique_ptr<FileListHandlers> wireFileList(Form1& form) {
    FileListHandlers::Busy busy{
        [&form] { return form.isBusy(); },
        [&form](bool on) { form.setMousePointer(on ? Form1::Pointer::Hourglass : Form1::Pointer::Default); }};
    auto handlers = std::make_unique<FileListHandlers>(form.ListView1, form.dialogs(), form.settings(), busy);
    handlers->setApplicationTitle([&form] { return form.applicationTitle(); });

    // The list's own events (mouse, keys, drag and drop) are handled by the file list's event filter,
    // which sees them before the window's; the window's list seams stay unset.
    FileListHandlers* h = handlers.get();
    form.seams.RecordSampleFiles = [h] { h->RecordSampleFiles(); };
    form.seams.PushButton1_Click = [h] { h->PushButton1_Click(); };
    form.seams.PushButton3_Click = [h] { h->PushButton3_Click(); };
    form.seams.PushButton4_Click = [h] { h->PushButton4_Click(); };
    form.seams.PushButton6_Click = [h] { h->PushButton6_Click(); };
    // The walk of a dropped folder yields to the window system like the buttons' walks, so closing
    // the window during it must end the program as it does during theirs.
    h->fileList().setDropHandler([&form, h](const QStringList& paths) {
        form.runSeam("ListView1_OLEDragDrop", [&] { h->ListView1_OLEDragDrop(paths); });
    });
    return handlers;
}

}  // namespace trelwick
