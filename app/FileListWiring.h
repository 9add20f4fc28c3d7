#pragma once

#include <memory>

namespace trelwick {

class FileListHandlers;
class Form1;

// Hands the window's ListView1 over to the file list and wires "Clear List", "Add PowerPoint
// File(s)", "Load Sample/Example Files", "Add All File(s) In Folder" and the sample snapshot of the
// load step. Call before Form_Load; the result must live as long as the window.
std::unique_ptr<FileListHandlers> wireFileList(Form1& form);

}  // namespace trelwick
