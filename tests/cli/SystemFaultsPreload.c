// Arms SystemFaults.c in a program it is preloaded into, from TRELWICK_SYSTEM_FAULT: "call nth error
// repeat", as failSystemCall takes them.
#include <stdio.h>
#include <stdlib.h>

#include "SystemFaults.h"

__attribute__((constructor)) static void armFromEnvironment(void) {
    const char* fault = getenv("TRELWICK_SYSTEM_FAULT");
    int call = 0, nth = 0, error = 0, repeat = 0;
    if (fault && sscanf(fault, "%d %d %d %d", &call, &nth, &error, &repeat) == 4 && call >= 0 &&
        call < kSystemCallKinds)
        failSystemCall((enum SystemCall)call, nth, error, repeat);
}
