#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace trelwick::fuzz {

// Opens bytes as a presentation, stamps every element on and saves, stamps them off and saves again,
// reopening each saved deck. Returns the engine's message when it refused the input, else empty;
// aborts when a saved deck cannot be reopened, and lets any failure other than the engine's Error escape.
std::string stampOneInput(const std::uint8_t* data, std::size_t size);

}  // namespace trelwick::fuzz
