#pragma once

#include <cstddef>
#include <string>

namespace trelwick::engine {

// A page of fresh memory costs a trap into the kernel when it is first written: about 10 us on a
// virtual machine, where that was a third of the time of stamping real decks. Populated in one call
// before use, a tenth of that. Buffers of more than a few pages that are about to be written whole
// are made ready that way.

// Populates the whole pages under [data, data + size); does nothing for a few pages or where the
// kernel cannot (then it stays as it was: each page faulted in when written).
void populate(void* data, std::size_t size);
// Whether populate does anything here (a Linux of 5.14 or later).
bool populateWorks();
// Readies the calling thread's heap for the work of stamping decks, once per thread (and again after
// giveBackFreedMemory), when the program asked for keepFreedMemory; otherwise does nothing.
void readyHeapForDecks();
// n zero bytes.
std::string zeroed(std::size_t n);
// Room for n bytes in out, populated.
void reservePopulated(std::string& out, std::size_t n);

}  // namespace trelwick::engine
