#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Little-endian fields and UTF-16 text of the binary formats the engine reads and writes (zip records,
// compound files, PowerPoint records).
namespace trelwick::engine {

// Read at `at`; the caller guarantees the bytes exist.
inline std::uint16_t le16(std::string_view s, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(s[at]) | static_cast<std::uint8_t>(s[at + 1])
                                                                             << 8);
}
inline std::uint32_t le32(std::string_view s, std::size_t at) {
    return le16(s, at) | static_cast<std::uint32_t>(le16(s, at + 2)) << 16;
}
inline std::uint64_t le64(std::string_view s, std::size_t at) {
    return le32(s, at) | static_cast<std::uint64_t>(le32(s, at + 4)) << 32;
}

// Read at `at`, or 0 past the end: callers check sizes first where 0 would be mistaken for a value.

inline std::uint16_t get16(std::string_view s, std::size_t at) {
    return at + 2 > s.size() ? 0 : le16(s, at);
}
inline std::uint32_t get32(std::string_view s, std::size_t at) {
    return at + 4 > s.size() ? 0 : le32(s, at);
}

// Written over the bytes at `at`; the caller guarantees they exist.

inline void put16(std::string& s, std::size_t at, std::uint16_t v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>(v >> 8);
}

inline void put32(std::string& s, std::size_t at, std::uint32_t v) {
    put16(s, at, static_cast<std::uint16_t>(v & 0xFFFF));
    put16(s, at + 2, static_cast<std::uint16_t>(v >> 16));
}
inline void put64(std::string& s, std::size_t at, std::uint64_t v) {
    put32(s, at, static_cast<std::uint32_t>(v & 0xFFFFFFFF));
    put32(s, at + 4, static_cast<std::uint32_t>(v >> 32));
}

// Appended at the end.

inline void append16(std::string& s, std::uint16_t v) {
    s.resize(s.size() + 2);
    put16(s, s.size() - 2, v);
}

inline void append32(std::string& s, std::uint32_t v) {
    s.resize(s.size() + 4);
    put32(s, s.size() - 4, v);
}
inline void append64(std::string& s, std::uint64_t v) {
    s.resize(s.size() + 8);
    put64(s, s.size() - 8, v);
}

// UTF-8 to UTF-16LE bytes; an invalid UTF-8 byte becomes U+FFFD.
std::string utf16le(std::string_view utf8);
// UTF-16LE bytes to UTF-8; a lone surrogate becomes U+FFFD, an odd last byte is dropped.
std::string utf8(std::string_view utf16le);
// UTF-16 code units to UTF-8, alike.
std::string utf8(std::u16string_view units);

// Zip part names and compound-file entry names compare without regard to ASCII case, as their readers
// look them up, and the same whatever locale the program runs in.
std::string toLower(std::string s);
bool equalsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace trelwick::engine
