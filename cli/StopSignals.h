#pragma once

namespace trelwick::cli {

// Ctrl-C, a kill or a closed terminal stop a batch between decks: decks being written are finished and
// put in place, the rest are not begun, and the process then ends by the signal as it would have. A
// second signal ends it at once. Where a deck is written under a temporary name (a share without
// unnamed files), stopping between decks leaves no such file behind.
void catchStopSignals();
// The signal that asked the batch to stop; 0 while none has.
int stopSignal();
// Ends the process by sig, with the default action restored (the exit status a shell expects).
[[noreturn]] void endBySignal(int sig);

}  // namespace trelwick::cli
