#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Constants and little-endian helpers of the compound file format (MS-CFB), shared by its reader and
// writer.
namespace trelwick::engine::cfb {

inline constexpr std::string_view kSignature{"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8};
inline constexpr std::size_t kHeaderBytes = 512;
inline constexpr std::size_t kHeaderDifatSlots = 109;
inline constexpr std::size_t kEntryBytes = 128;
inline constexpr std::uint16_t kMiniShift = 6;
inline constexpr std::uint64_t kMiniSectorBytes = 64;
inline constexpr std::uint32_t kMiniCutoff = 4096;
inline constexpr std::size_t kMaxDepth = 128;  // storages nested in storages

inline constexpr std::uint32_t kDifSect = 0xFFFFFFFC;
inline constexpr std::uint32_t kFatSect = 0xFFFFFFFD;
inline constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
inline constexpr std::uint32_t kFreeSect = 0xFFFFFFFF;
inline constexpr std::uint32_t kNoStream = 0xFFFFFFFF;

inline constexpr std::uint8_t kStorageType = 1;
inline constexpr std::uint8_t kStreamType = 2;
inline constexpr std::uint8_t kRootType = 5;

// Reads a little-endian value at `at`; the caller guarantees the bytes exist.
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

// Writes a little-endian value over the bytes at `at`; the caller guarantees they exist.
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

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
inline std::string utf8(std::u16string_view units) {
    std::string out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace trelwick::engine::cfb
