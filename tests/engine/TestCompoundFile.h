#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Compound files built independently of the engine's writer, and a plain reader of their raw layout.
namespace trelwick::engine::test {

struct CfbStream {
    std::string path;  // storages joined with '/', ASCII names
    std::string content;
};

// A valid compound file, version 3 (512-byte sectors) or 4 (4096-byte sectors), holding the streams
// (storages created for the path prefixes). Layout: FAT sectors from sector 0, then the directory
// (entry 0 the root, then entries in the order of first mention), mini FAT, mini stream, and the
// regular streams last to first, so that it differs from the engine's own layout.
std::string buildCompoundFile(int major, const std::vector<CfbStream>& streams);

std::uint32_t get32(const std::string& s, std::size_t at);
void set32(std::string& s, std::size_t at, std::uint32_t v);

// Byte offset of sector id in a file with the given sector size.
std::size_t sectorOffset(std::uint32_t id, std::size_t sectorSize);
// The directory entries (128 bytes each), following the header's FAT and DIFAT without checks.
std::vector<std::string> rawDirectory(const std::string& file);
// The FAT entry of sector id, following the header's FAT sector list without checks.
std::size_t fatEntryOffset(const std::string& file, std::uint32_t id);

}  // namespace trelwick::engine::test
