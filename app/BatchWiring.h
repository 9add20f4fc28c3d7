#pragma once

#include <memory>

namespace trelwick {

class BatchRun;
class FileList;
class Form1;

// Wires "Start Adding" to the batch run, which reads the list, the options and the output folder
// of the window and drives its progress bar and pointer. The result must live as long as the window.
std::unique_ptr<BatchRun> wireBatchRun(Form1& form, const FileList& list);

}  // namespace trelwick
