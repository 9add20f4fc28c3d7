// libFuzzer entry point; built only with clang and TRELWICK_FUZZ.
#include <cstddef>
#include <cstdint>

#include "StampOneInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    trelwick::fuzz::stampOneInput(data, size);
    return 0;
}
