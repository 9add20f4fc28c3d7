#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Little-endian fields of the binary records. Reads past the end return 0, so callers check sizes first
// where 0 would be mistaken for a value.
namespace trelwick::engine::ppt {

inline std::uint16_t get16(std::string_view s, std::size_t at) {
    if (at + 2 > s.size()) return 0;
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(s[at]) | static_cast<std::uint8_t>(s[at + 1])
                                                                             << 8);
}

inline std::uint32_t get32(std::string_view s, std::size_t at) {
    if (at + 4 > s.size()) return 0;
    return static_cast<std::uint32_t>(get16(s, at)) | static_cast<std::uint32_t>(get16(s, at + 2)) << 16;
}

inline void put16(std::string& s, std::size_t at, std::uint16_t v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>(v >> 8);
}

inline void put32(std::string& s, std::size_t at, std::uint32_t v) {
    put16(s, at, static_cast<std::uint16_t>(v & 0xFFFF));
    put16(s, at + 2, static_cast<std::uint16_t>(v >> 16));
}

inline void append16(std::string& s, std::uint16_t v) {
    s.resize(s.size() + 2);
    put16(s, s.size() - 2, v);
}

inline void append32(std::string& s, std::uint32_t v) {
    s.resize(s.size() + 4);
    put32(s, s.size() - 4, v);
}

// UTF-8 to UTF-16LE bytes; an invalid UTF-8 byte becomes U+FFFD.
std::string utf16le(std::string_view utf8);
// UTF-16LE bytes to UTF-8; a lone surrogate becomes U+FFFD, an odd last byte is dropped.
std::string utf8(std::string_view utf16le);

}  // namespace trelwick::engine::ppt
