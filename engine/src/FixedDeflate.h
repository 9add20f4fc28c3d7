#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace trelwick::engine {

// The largest input deflateFixed takes: every match then lies within deflate's 32 KB window.
constexpr std::size_t kFixedDeflateMaxInput = 32768;

// Raw deflate (RFC 1951) of a small input in one block with the fixed Huffman codes and greedy
// matching. For the few KB of an edited XML part, libdeflate's set-up per call (a 128 KB match table,
// building dynamic codes) costs several times the compression itself; the fixed codes give up a little
// size for that. in.size() must not exceed kFixedDeflateMaxInput.
std::string deflateFixed(std::string_view in);

}  // namespace trelwick::engine
