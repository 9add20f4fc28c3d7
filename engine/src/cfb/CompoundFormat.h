#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "Bytes.h"

// Constants of the compound file format (MS-CFB), shared by its reader and writer.
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

}  // namespace trelwick::engine::cfb
