#include "OleProbe.h"

#include <vector>

namespace trelwick::engine {
namespace {

std::uint32_t le32(const std::string& s, std::size_t at) {
    if (at + 4 > s.size()) return 0xFFFFFFFFu;
    return static_cast<std::uint8_t>(s[at]) | static_cast<std::uint8_t>(s[at + 1]) << 8 |
           static_cast<std::uint8_t>(s[at + 2]) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[at + 3])) << 24;
}

std::string utf16Name(const std::string& entry) {
    std::size_t bytes = static_cast<std::uint8_t>(entry[0x40]) | static_cast<std::uint8_t>(entry[0x41]) << 8;
    if (bytes > 64) bytes = 64;
    std::string name;
    for (std::size_t i = 0; i + 1 < bytes; i += 2) {
        if (entry[i] == 0 && entry[i + 1] == 0) break;
        name += entry[i + 1] == 0 ? entry[i] : '?';
    }
    return name;
}

}  // namespace

bool OleProbe::hasMagic(const std::string& firstBytes) {
    return firstBytes.size() >= 8 && firstBytes.compare(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) == 0;
}

OleContent OleProbe::inspect(std::uint64_t fileSize,
                             const std::function<std::string(std::uint64_t, std::size_t)>& read) {
    const std::string header = read(0, 512);
    if (header.size() < 512 || !hasMagic(header)) return OleContent::Other;
    const unsigned shift = static_cast<std::uint8_t>(header[0x1E]) | static_cast<std::uint8_t>(header[0x1F])
                                                                         << 8;
    if (shift != 9 && shift != 12) return OleContent::Other;
    const std::uint64_t sectorSize = 1ull << shift;
    const std::uint64_t sectorCount = fileSize / sectorSize + 1;
    auto sector = [&](std::uint32_t id) {
        return read((static_cast<std::uint64_t>(id) + 1) << shift, sectorSize);
    };

    // The FAT sectors are listed by the header's 109 DIFAT slots, then by a chain of DIFAT sectors.
    // A hostile file may list one sector many times or loop the chain: each sector counts once, and the
    // FAT is read only as far as it can describe the file, so memory stays a fraction of the file size.
    std::vector<std::uint32_t> fatSectors;
    std::vector<bool> listed(sectorCount, false);
    auto list = [&](std::uint32_t id) {
        if (id < sectorCount && !listed[id]) {
            listed[id] = true;
            fatSectors.push_back(id);
        }
    };
    for (std::size_t i = 0; i < 109; ++i) list(le32(header, 0x4C + 4 * i));
    std::vector<bool> chained(sectorCount, false);
    std::uint32_t difat = le32(header, 0x44);
    while (difat < sectorCount && !chained[difat]) {
        chained[difat] = true;
        const std::string s = sector(difat);
        if (s.size() < sectorSize) break;
        for (std::uint64_t i = 0; i + 1 < sectorSize / 4; ++i) list(le32(s, 4 * i));
        difat = le32(s, sectorSize - 4);
    }
    std::vector<std::uint32_t> fat;
    for (std::uint32_t id : fatSectors) {
        if (fat.size() >= sectorCount) break;
        const std::string s = sector(id);
        for (std::size_t i = 0; i + 4 <= s.size(); i += 4) fat.push_back(le32(s, i));
    }

    bool encrypted = false;
    bool powerPoint = false;
    std::uint32_t dir = le32(header, 0x30);
    for (std::uint64_t guard = 0; dir < 0xFFFFFFFAu && guard < sectorCount; ++guard) {
        const std::string s = sector(dir);
        for (std::size_t at = 0; at + 128 <= s.size(); at += 128) {
            const std::string name = utf16Name(s.substr(at, 128));
            if (name == "EncryptedPackage") encrypted = true;
            if (name == "PowerPoint Document" || name == "PP40" || name == "Current User") powerPoint = true;
        }
        dir = dir < fat.size() ? fat[dir] : 0xFFFFFFFEu;
    }
    if (encrypted) return OleContent::Encrypted;
    if (powerPoint) return OleContent::LegacyPowerPoint;
    return OleContent::Other;
}

}  // namespace trelwick::engine
