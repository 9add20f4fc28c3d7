#include "TestCompoundFile.h"

#include <stdexcept>

namespace trelwick::engine::test {
namespace {

constexpr std::uint32_t kEnd = 0xFFFFFFFEu;
constexpr std::uint32_t kFree = 0xFFFFFFFFu;

struct Node {
    std::string name;
    std::uint8_t type;  // 1 storage, 2 stream, 5 root
    std::string content;
    std::vector<std::size_t> children;
    std::uint32_t start = kEnd;
};

std::size_t ceilDiv(std::size_t a, std::size_t b) {
    return (a + b - 1) / b;
}

}  // namespace

std::uint32_t get32(const std::string& s, std::size_t at) {
    return static_cast<std::uint8_t>(s[at]) | static_cast<std::uint8_t>(s[at + 1]) << 8 |
           static_cast<std::uint8_t>(s[at + 2]) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[at + 3])) << 24;
}

void set32(std::string& s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::size_t sectorOffset(std::uint32_t id, std::size_t sectorSize) {
    return (std::size_t{id} + 1) * sectorSize;
}

std::string buildCompoundFile(int major, const std::vector<CfbStream>& streams) {
    const std::size_t ss = major == 4 ? 4096 : 512;
    std::vector<Node> nodes{{"Root Entry", 5, "", {}}};
    for (const CfbStream& s : streams) {
        std::size_t parent = 0;
        std::size_t from = 0;
        for (std::size_t slash; (slash = s.path.find('/', from)) != std::string::npos; from = slash + 1) {
            const std::string name = s.path.substr(from, slash - from);
            std::size_t found = 0;
            for (std::size_t c : nodes[parent].children)
                if (nodes[c].name == name) found = c;
            if (found == 0) {
                nodes.push_back({name, 1, "", {}});
                found = nodes.size() - 1;
                nodes[parent].children.push_back(found);
            }
            parent = found;
        }
        nodes.push_back({s.path.substr(from), 2, s.content, {}});
        nodes[parent].children.push_back(nodes.size() - 1);
    }

    std::string mini;
    std::vector<std::uint32_t> miniFat;
    std::size_t regularSectors = 0;
    for (Node& n : nodes) {
        if (n.type != 2 || n.content.empty()) continue;
        if (n.content.size() >= 4096) {
            regularSectors += ceilDiv(n.content.size(), ss);
            continue;
        }
        n.start = static_cast<std::uint32_t>(miniFat.size());
        const std::size_t count = ceilDiv(n.content.size(), 64);
        for (std::size_t k = 0; k < count; ++k)
            miniFat.push_back(k + 1 < count ? static_cast<std::uint32_t>(miniFat.size() + 1) : kEnd);
        mini += n.content;
        mini.resize(miniFat.size() * 64, '\0');
    }
    const std::size_t dirSectors = ceilDiv(nodes.size() * 128, ss);
    const std::size_t miniFatSectors = ceilDiv(miniFat.size() * 4, ss);
    const std::size_t miniSectors = ceilDiv(mini.size(), ss);
    const std::size_t data = dirSectors + miniFatSectors + miniSectors + regularSectors;
    std::size_t fatSectors = 1;
    while (fatSectors * (ss / 4) < data + fatSectors) ++fatSectors;
    if (fatSectors > 109) throw std::logic_error("the test builder writes no DIFAT");

    const std::size_t total = fatSectors + data;
    std::string out((total + 1) * ss, '\0');
    std::vector<std::uint32_t> fat(fatSectors * (ss / 4), kFree);
    std::uint32_t next = 0;
    auto chain = [&](std::size_t count) {
        if (count == 0) return kEnd;
        const std::uint32_t start = next;
        for (std::size_t k = 0; k < count; ++k, ++next) fat[next] = k + 1 < count ? next + 1 : kEnd;
        return start;
    };
    for (std::size_t k = 0; k < fatSectors; ++k) fat[next++] = 0xFFFFFFFDu;
    const std::uint32_t dirStart = chain(dirSectors);
    const std::uint32_t miniFatStart = chain(miniFatSectors);
    const std::uint32_t miniStart = chain(miniSectors);
    for (std::size_t i = nodes.size(); i-- > 0;) {
        Node& n = nodes[i];
        if (n.type != 2 || n.content.size() < 4096) continue;
        n.start = chain(ceilDiv(n.content.size(), ss));
        out.replace(sectorOffset(n.start, ss), n.content.size(), n.content);
    }
    nodes[0].start = mini.empty() ? kEnd : miniStart;
    if (!mini.empty()) out.replace(sectorOffset(miniStart, ss), mini.size(), mini);
    for (std::size_t k = 0; k < miniFatSectors * (ss / 4); ++k)
        set32(out, sectorOffset(miniFatStart, ss) + 4 * k, k < miniFat.size() ? miniFat[k] : kFree);
    for (std::size_t k = 0; k < fat.size(); ++k)
        set32(out, sectorOffset(static_cast<std::uint32_t>(k / (ss / 4)), ss) + 4 * (k % (ss / 4)), fat[k]);

    for (std::size_t k = 0; k < dirSectors * ss / 128; ++k)
        for (std::size_t link : {0x44, 0x48, 0x4C})
            set32(out, sectorOffset(dirStart, ss) + 128 * k + link, kFree);
    for (std::size_t k = 0; k < dirSectors * ss / 128; ++k) {
        const std::size_t at = sectorOffset(dirStart, ss) + 128 * k;
        if (k >= nodes.size()) continue;
        const Node& n = nodes[k];
        for (std::size_t c = 0; c < n.name.size() && c < 31; ++c) out[at + 2 * c] = n.name[c];
        out[at + 0x40] = static_cast<char>(2 * (std::min<std::size_t>(n.name.size(), 31) + 1));
        out[at + 0x42] = static_cast<char>(n.type);
        out[at + 0x43] = 1;  // black
        if (!n.children.empty()) set32(out, at + 0x4C, static_cast<std::uint32_t>(n.children.front()));
        for (std::size_t c = 0; c + 1 < n.children.size(); ++c)
            set32(out, sectorOffset(dirStart, ss) + 128 * n.children[c] + 0x48,
                  static_cast<std::uint32_t>(n.children[c + 1]));
        set32(out, at + 0x74, n.type == 1 ? 0 : n.start);
        set32(out, at + 0x78, static_cast<std::uint32_t>(k == 0 ? mini.size() : n.content.size()));
    }

    out.replace(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    out[0x18] = 0x3E;
    out[0x1A] = static_cast<char>(major);
    out[0x1C] = '\xFE';
    out[0x1D] = '\xFF';
    out[0x1E] = major == 4 ? 12 : 9;
    out[0x20] = 6;
    if (major == 4) set32(out, 0x28, static_cast<std::uint32_t>(dirSectors));
    set32(out, 0x2C, static_cast<std::uint32_t>(fatSectors));
    set32(out, 0x30, dirStart);
    set32(out, 0x38, 4096);
    set32(out, 0x3C, miniFatStart);
    set32(out, 0x40, static_cast<std::uint32_t>(miniFatSectors));
    set32(out, 0x44, kEnd);
    for (std::size_t k = 0; k < 109; ++k)
        set32(out, 0x4C + 4 * k, k < fatSectors ? static_cast<std::uint32_t>(k) : kFree);
    return out;
}

std::vector<std::string> rawDirectory(const std::string& file) {
    const std::size_t ss = std::size_t{1} << static_cast<std::uint8_t>(file[0x1E]);
    const std::size_t sectors = file.size() / ss - 1;
    std::vector<std::uint32_t> fatSectors;
    const std::uint32_t fatCount = get32(file, 0x2C);
    for (std::size_t k = 0; k < 109 && fatSectors.size() < fatCount; ++k)
        fatSectors.push_back(get32(file, 0x4C + 4 * k));
    for (std::uint32_t d = get32(file, 0x44); fatSectors.size() < fatCount && d < sectors;) {
        for (std::size_t k = 0; k + 1 < ss / 4 && fatSectors.size() < fatCount; ++k)
            fatSectors.push_back(get32(file, sectorOffset(d, ss) + 4 * k));
        d = get32(file, sectorOffset(d, ss) + ss - 4);
    }
    std::vector<std::string> entries;
    std::size_t guard = 0;
    for (std::uint32_t id = get32(file, 0x30); id < sectors && guard++ < sectors;) {
        for (std::size_t k = 0; k < ss / 128; ++k)
            entries.push_back(file.substr(sectorOffset(id, ss) + 128 * k, 128));
        const std::uint32_t fatSector = fatSectors.at(id / (ss / 4));
        id = get32(file, sectorOffset(fatSector, ss) + 4 * (id % (ss / 4)));
    }
    return entries;
}

std::size_t fatEntryOffset(const std::string& file, std::uint32_t id) {
    const std::size_t ss = std::size_t{1} << static_cast<std::uint8_t>(file[0x1E]);
    return sectorOffset(get32(file, 0x4C + 4 * (id / (ss / 4))), ss) + 4 * (id % (ss / 4));
}

}  // namespace trelwick::engine::test
