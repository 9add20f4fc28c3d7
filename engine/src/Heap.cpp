#include "Heap.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>

#include "trelwick/engine.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif
#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace trelwick::engine {
namespace {

// Below this a system call costs about what the faults it spares.
constexpr std::size_t kSmallest = 16 * 1024;

#ifdef __linux__
#ifdef MADV_POPULATE_WRITE
constexpr int kPopulateWrite = MADV_POPULATE_WRITE;
#else
constexpr int kPopulateWrite = 23;  // Linux 5.14, newer than some build machines' headers
#endif

std::atomic<bool> unsupported{false};

// The heap a thread's decks are stamped from, advised to be backed by huge pages: one fault for 2 MB
// instead of 512. Below glibc's mapping threshold as keepFreedMemory sets it, so that the block comes
// from the thread's heap and stays there once freed.
constexpr std::size_t kDeckHeapBytes = 24u << 20;
constexpr std::uintptr_t kHugePageBytes = 2u << 20;

std::uintptr_t pageSize() {
    static const std::uintptr_t size = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    return size;
}
#endif

#ifdef __GLIBC__
std::atomic<bool> heapKept{false};
// Raised when the kept memory is given back, so that each thread readies its heap again.
std::atomic<unsigned> heapGeneration{1};
#endif

}  // namespace

void populate(void* data, std::size_t size) {
#ifdef __linux__
    if (size < kSmallest || unsupported.load(std::memory_order_relaxed)) return;
    const std::uintptr_t page = pageSize();
    const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t begin = (at + page - 1) / page * page;
    const std::uintptr_t end = (at + size) / page * page;
    if (end <= begin) return;
    // An older kernel does not know the advice (EINVAL): the pages fault in as they are written.
    if (::madvise(reinterpret_cast<void*>(begin), end - begin, kPopulateWrite) != 0 && errno == EINVAL)
        unsupported.store(true, std::memory_order_relaxed);
#else
    (void)data;
    (void)size;
#endif
}

bool populateWorks() {
#ifdef __linux__
    std::string probe;
    reservePopulated(probe, 4 * kSmallest);
    return !unsupported.load(std::memory_order_relaxed);
#else
    return false;
#endif
}

void keepFreedMemory() {
#ifdef __GLIBC__
    // glibc's largest threshold for a block of its own mapping, and twice that kept free.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
    heapKept.store(true, std::memory_order_relaxed);
#endif
}

void giveBackFreedMemory() {
#ifdef __GLIBC__
    malloc_trim(0);
    heapGeneration.fetch_add(1, std::memory_order_relaxed);
#endif
}

void readyHeapForDecks() {
#if defined(__GLIBC__) && defined(__linux__)
    if (!heapKept.load(std::memory_order_relaxed)) return;
    thread_local unsigned ready = 0;
    const unsigned generation = heapGeneration.load(std::memory_order_relaxed);
    if (ready == generation) return;
    ready = generation;
    // Taken and freed at once: no page is touched, the heap grows to hold it and keeps the room.
    void* block = std::malloc(kDeckHeapBytes);
    if (block == nullptr) return;
    const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t begin = (at + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes;
    const std::uintptr_t end = (at + kDeckHeapBytes) / kHugePageBytes * kHugePageBytes;
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    // The room up to the first whole huge page is taken first: made ready in one call.
    populate(block, begin - at);
    std::free(block);
#endif
}

std::string zeroed(std::size_t n) {
    std::string out;
    reservePopulated(out, n);
    out.resize(n);
    return out;
}

void reservePopulated(std::string& out, std::size_t n) {
    out.reserve(n);
    populate(out.data() + out.size(), out.capacity() - out.size());
}

}  // namespace trelwick::engine
