#pragma once

#include <stddef.h>

// Failures of the system calls a save makes, on demand. SystemFaults.c defines these calls in the
// test executable itself, ahead of the C library's, so the engine linked into it meets them as it
// would meet a failing disk or file system; unarmed, each call passes straight through.
#ifdef __cplusplus
extern "C" {
#endif

enum SystemCall {
    kOpenUnnamed,  // open with O_TMPFILE: the file without a name, as a share or FAT refuses it
    kCreateNamed,  // open with O_CREAT | O_EXCL: the hidden temporary file
    kFsync,        // of files and folders alike
    kLinkat,
    kRename,
    kCopyFileRange,  // error 0: the call copies nothing, as at the end of its source
    kSystemCallKinds
};

// From now on, the nth call of that kind (1 for the next) fails with error, and so does every later
// one when repeat is set.
void failSystemCall(enum SystemCall call, int nth, int error, int repeat);
// copy_file_range copies at most bytes a call (0: as asked).
void limitCopyFileRange(size_t bytes);
// Every call passes through again.
void clearSystemFaults(void);

#ifdef __cplusplus
}
#endif
