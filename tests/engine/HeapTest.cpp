// Buffers made ready in one call must then be written without a fault per page, and freed memory
// must serve the next deck; neither may change what the buffers hold.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/resource.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "Heap.h"
#include "trelwick/engine.h"

namespace trelwick::engine::test {
namespace {

constexpr std::size_t kBytes = 8u << 20;
constexpr long kPages = static_cast<long>(kBytes / 4096);

long minorFaults() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_minflt;
}

// ASan's allocator keeps its own heap and shadow memory: neither glibc's settings nor the fault counts
// below hold there.
bool sanitized() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    return true;
#endif
#endif
    return false;
}

TEST(HeapTest, BuffersHoldWhatTheyAreGiven) {
    EXPECT_EQ(zeroed(0), "");
    const std::string large = zeroed(kBytes + 3);
    ASSERT_EQ(large.size(), kBytes + 3);
    EXPECT_EQ(large.find_first_not_of('\0'), std::string::npos);

    std::string grown = "kept";
    reservePopulated(grown, kBytes);
    EXPECT_EQ(grown, "kept");
    EXPECT_GE(grown.capacity(), kBytes);
    reservePopulated(grown, 16);  // less than it holds room for: nothing moves
    EXPECT_EQ(grown, "kept");

    // Unaligned ranges and ranges of less than a page are left as they are.
    char small[100];
    std::memset(small, 'x', sizeof small);
    populate(small + 1, 50);
    EXPECT_EQ(std::string(small, 3), "xxx");
}

TEST(HeapTest, PopulatedBufferIsWrittenWithoutAFaultPerPage) {
    if (sanitized() || !populateWorks())
        GTEST_SKIP() << "the kernel cannot populate memory ahead (Linux 5.14+)";
    std::string buffer;
    reservePopulated(buffer, kBytes);
    const long before = minorFaults();
    buffer.append(kBytes, 'y');
    const long faults = minorFaults() - before;
    EXPECT_LT(faults, kPages / 8) << "writing " << kPages << " populated pages faulted " << faults
                                  << " times";
    EXPECT_EQ(buffer.find_first_not_of('y'), std::string::npos);
}

long residentPages() {
    long size = 0, resident = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &size, &resident) != 2) resident = 0;
        std::fclose(statm);
    }
    return resident;
}

// glibc's heap as the programs set it up.
class TunedHeapTest : public ::testing::Test {
  protected:
    void SetUp() override {
#ifndef __GLIBC__
        GTEST_SKIP() << "only glibc's heap is tuned";
#endif
        if (sanitized()) GTEST_SKIP() << "sanitizers bring their own allocator";
    }
    // Heap settings hold for a whole process, and glibc raises its thresholds itself once a large block
    // is freed, as an earlier test may have done: check runs in a process of its own.
    static void expectInOwnProcess(bool (*check)()) {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        EXPECT_EXIT(std::_Exit(check() ? 0 : 1), ::testing::ExitedWithCode(0), "");
    }
};

// By default a block this large gets a mapping that freeing it unmaps.
TEST_F(TunedHeapTest, MemoryFreedByOneDeckServesTheNext) {
    expectInOwnProcess([] {
        keepFreedMemory();
        { const std::string first(kBytes, 'a'); }
        const long before = minorFaults();
        const std::string second(kBytes, 'b');
        const long faults = minorFaults() - before;
        std::fprintf(stderr, "writing a block freed before faulted %ld times\n", faults);
        return faults < kPages / 8;
    });
}

TEST_F(TunedHeapTest, KeptMemoryGoesBackWhenAsked) {
    expectInOwnProcess([] {
        keepFreedMemory();
        { const std::string kept(kBytes, 'a'); }
        const long before = residentPages();
        giveBackFreedMemory();
        const long given = before - residentPages();
        std::fprintf(stderr, "%ld of %ld pages given back\n", given, kPages);
        return given > kPages / 2;
    });
}

bool hugePagesOffered() {
    std::FILE* setting = std::fopen("/sys/kernel/mm/transparent_hugepage/enabled", "r");
    if (setting == nullptr) return false;
    char text[128] = {};
    const std::size_t n = std::fread(text, 1, sizeof text - 1, setting);
    std::fclose(setting);
    const std::string_view offered(text, n);
    return offered.find("[always]") != offered.npos || offered.find("[madvise]") != offered.npos;
}

// Whether the kernel grants a huge page just now: on a loaded machine with fragmented memory it falls
// back to small pages, whatever the heap asks for.
bool hugePagesGrantedNow() {
    constexpr std::size_t kHuge = 2u << 20;
    void* mapped = ::mmap(nullptr, 2 * kHuge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return false;
    auto* aligned =
        reinterpret_cast<char*>((reinterpret_cast<std::uintptr_t>(mapped) + kHuge - 1) & ~(kHuge - 1));
    ::madvise(aligned, kHuge, MADV_HUGEPAGE);
    const long before = minorFaults();
    std::memset(aligned, 1, kHuge);
    const long faults = minorFaults() - before;
    ::munmap(mapped, 2 * kHuge);
    return faults < static_cast<long>(kHuge / 4096 / 8);
}

// A deck's work takes thousands of small blocks from fresh heap: they must not fault in a page at a time.
TEST_F(TunedHeapTest, FreshHeapFaultsInLargePages) {
    if (!hugePagesOffered()) GTEST_SKIP() << "the kernel offers no transparent huge pages";
    if (!hugePagesGrantedNow()) GTEST_SKIP() << "the kernel grants no huge page just now (memory fragmented)";
    expectInOwnProcess([] {
        keepFreedMemory();
        readyHeapForDecks();
        constexpr std::size_t kPart = 1000;
        // The kernel may hand out small pages for a moment (memory fragmented by other work): a second
        // stretch of fresh heap, the first kept, is asked for before calling it a fault of the heap.
        std::vector<std::string> parts;
        parts.reserve(2 * kBytes / kPart);
        for (int attempt = 1; attempt <= 2; ++attempt) {
            const long before = minorFaults();
            for (std::size_t i = 0; i < kBytes / kPart; ++i) parts.emplace_back(kPart, 'p');
            const long faults = minorFaults() - before;
            std::fprintf(stderr, "writing %zu blocks of fresh heap faulted %ld times\n", kBytes / kPart,
                         faults);
            if (faults < kPages / 8) return true;
        }
        return false;
    });
}

}  // namespace
}  // namespace trelwick::engine::test
