// Defines open, fsync, linkat, rename and copy_file_range ahead of the C library's: the fortified
// inline wrappers of open would stand in the way of the definition, so they are left out.
#undef _FORTIFY_SOURCE
#define _GNU_SOURCE
#include "SystemFaults.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdatomic.h>
#include <stdio.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

struct Fault {
    int nth;  // 0: unarmed
    int error;
    int repeat;
};

static struct Fault faults[kSystemCallKinds];
// Counted atomically: a program preloaded with these may make the calls on several threads.
static atomic_int calls[kSystemCallKinds];
static size_t copyLimit;

void failSystemCall(enum SystemCall call, int nth, int error, int repeat) {
    atomic_store(&calls[call], 0);
    faults[call] = (struct Fault){nth, error, repeat};
}

void limitCopyFileRange(size_t bytes) {
    copyLimit = bytes;
}

void clearSystemFaults(void) {
    for (int i = 0; i < kSystemCallKinds; ++i) failSystemCall((enum SystemCall)i, 0, 0, 0);
    copyLimit = 0;
}

// Counts the call; nonzero (errno set) when it is to fail.
static int failing(enum SystemCall call) {
    const struct Fault* f = &faults[call];
    const int made = atomic_fetch_add(&calls[call], 1) + 1;
    if (f->nth == 0 || made < f->nth || (made > f->nth && !f->repeat)) return 0;
    errno = f->error;
    return 1;
}

// The C library's function of that name, into *function (a function pointer of the right type).
static void real(const char* name, void* function, size_t size) {
    void* found = dlsym(RTLD_NEXT, name);
    if (!found) {
        fprintf(stderr, "SystemFaults: no %s to call\n", name);
        _exit(127);
    }
    memcpy(function, &found, size);
}

static int openFaulted(const char* name, const char* path, int flags, mode_t mode) {
    if ((flags & O_TMPFILE) == O_TMPFILE && failing(kOpenUnnamed)) return -1;
    if ((flags & (O_CREAT | O_EXCL)) == (O_CREAT | O_EXCL) && failing(kCreateNamed)) return -1;
    int (*function)(const char*, int, ...);
    real(name, &function, sizeof function);
    return function(path, flags, mode);
}

// The mode follows the flags only when the call may create the file; read otherwise, it is whatever
// happens to lie there.
#define FAULTED_OPEN(name)                                           \
    int name(const char* path, int flags, ...) {                     \
        mode_t mode = 0;                                             \
        if ((flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE) { \
            va_list args;                                            \
            va_start(args, flags);                                   \
            mode = va_arg(args, mode_t);                             \
            va_end(args);                                            \
        }                                                            \
        return openFaulted(#name, path, flags, mode);                \
    }

FAULTED_OPEN(open)
FAULTED_OPEN(open64)

int fsync(int fd) {
    if (failing(kFsync)) return -1;
    int (*function)(int);
    real("fsync", &function, sizeof function);
    return function(fd);
}

int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) {
    if (failing(kLinkat)) return -1;
    int (*function)(int, const char*, int, const char*, int);
    real("linkat", &function, sizeof function);
    return function(fromDir, from, toDir, to, flags);
}

int rename(const char* from, const char* to) {
    if (failing(kRename)) return -1;
    int (*function)(const char*, const char*);
    real("rename", &function, sizeof function);
    return function(from, to);
}

ssize_t copy_file_range(int in, off64_t* inOffset, int out, off64_t* outOffset, size_t length,
                        unsigned flags) {
    if (failing(kCopyFileRange)) return errno == 0 ? 0 : -1;
    if (copyLimit != 0 && length > copyLimit) length = copyLimit;
    ssize_t (*function)(int, off64_t*, int, off64_t*, size_t, unsigned);
    real("copy_file_range", &function, sizeof function);
    return function(in, inOffset, out, outOffset, length, flags);
}
