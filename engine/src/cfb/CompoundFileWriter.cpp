#include <cstring>

#include "../Failure.h"
#include "../Heap.h"
#include "CompoundFile.h"
#include "CompoundFormat.h"

namespace trelwick::engine {
namespace {

using namespace cfb;

std::uint64_t ceilDiv(std::uint64_t a, std::uint64_t b) {
    return (a + b - 1) / b;
}

}  // namespace

// A full re-layout rather than patching in place: the same input and replacements always give the
// same bytes, and no stale sector of a replaced stream survives. Order of the sectors: regular
// streams in directory order, mini stream, mini FAT, directory, FAT, DIFAT. They are laid out first
// and then written in that order, so that a stream is copied a piece at a time rather than the whole
// container built in memory.
void CompoundFile::write(const Put& put) const {
    const std::uint64_t sectorSize = std::uint64_t{1} << shift_;
    const std::uint64_t idsPerSector = sectorSize / 4;

    struct Placed {
        std::size_t index;
        std::uint64_t size;
        std::uint32_t start = kEndOfChain;
    };
    std::vector<Placed> regular;
    std::vector<Placed> mini;
    for (std::size_t i = 1; i < entries_.size(); ++i) {
        if (entries_[i].type != kStreamType) continue;
        const std::uint64_t size = contentSize(i);
        (size >= kMiniCutoff ? regular : mini).push_back({i, size});
    }

    // Mini stream and mini FAT.
    std::string miniStream;
    std::vector<std::uint32_t> miniFat;
    for (Placed& p : mini) {
        if (p.size == 0) continue;
        const std::uint64_t count = ceilDiv(p.size, kMiniSectorBytes);
        p.start = static_cast<std::uint32_t>(miniFat.size());
        for (std::uint64_t k = 0; k < count; ++k)
            miniFat.push_back(k + 1 < count ? static_cast<std::uint32_t>(miniFat.size() + 1) : kEndOfChain);
        const std::size_t at = miniStream.size();
        miniStream.resize(miniFat.size() * kMiniSectorBytes, '\0');
        copyContent(p.index, miniStream.data() + at);
    }

    // Sector counts; the FAT must also cover its own sectors and the DIFAT's, so iterate to a fixed point.
    std::uint64_t sectors = 0;
    for (Placed& p : regular) sectors += ceilDiv(p.size, sectorSize);
    const std::uint64_t miniStreamSectors = ceilDiv(miniStream.size(), sectorSize);
    const std::uint64_t miniFatSectors = ceilDiv(miniFat.size() * 4, sectorSize);
    const std::uint64_t dirSectors = ceilDiv(rawDir_.size() * kEntryBytes, sectorSize);
    const std::uint64_t dataSectors = sectors + miniStreamSectors + miniFatSectors + dirSectors;
    std::uint64_t fatSectors = 0;
    std::uint64_t difatSectors = 0;
    for (;;) {
        const std::uint64_t fat = ceilDiv(dataSectors + fatSectors + difatSectors, idsPerSector);
        const std::uint64_t difat =
            fat > kHeaderDifatSlots ? ceilDiv(fat - kHeaderDifatSlots, idsPerSector - 1) : 0;
        if (fat == fatSectors && difat == difatSectors) break;
        fatSectors = fat;
        difatSectors = difat;
    }
    const std::uint64_t total = dataSectors + fatSectors + difatSectors;
    if ((total + 1) * sectorSize > kMaxBytes)
        fail(ErrorCode::LimitExceeded, label_, "", "the written compound file would be larger than 2 GB");

    std::vector<std::uint32_t> fat(fatSectors * idsPerSector, kFreeSect);
    std::uint32_t next = 0;
    // Lays count sectors out as one chain and returns its start (ENDOFCHAIN when empty).
    auto allocate = [&](std::uint64_t count) {
        if (count == 0) return kEndOfChain;
        const std::uint32_t start = next;
        for (std::uint64_t k = 0; k < count; ++k, ++next) fat[next] = k + 1 < count ? next + 1 : kEndOfChain;
        return start;
    };
    for (Placed& p : regular) p.start = allocate(ceilDiv(p.size, sectorSize));
    const std::uint32_t miniStreamStart = allocate(miniStreamSectors);
    const std::uint32_t miniFatStart = allocate(miniFatSectors);
    const std::uint32_t dirStart = allocate(dirSectors);
    const std::uint32_t fatStart = next;
    for (std::uint64_t k = 0; k < fatSectors; ++k) fat[next++] = kFatSect;
    const std::uint32_t difatStart = difatSectors > 0 ? next : kEndOfChain;
    for (std::uint64_t k = 0; k < difatSectors; ++k) fat[next++] = kDifSect;

    std::string header = zeroed(sectorSize);
    header.replace(0, kSignature.size(), kSignature);
    put16(header, 0x18, 0x003E);
    put16(header, 0x1A, major_);
    put16(header, 0x1C, 0xFFFE);
    put16(header, 0x1E, static_cast<std::uint16_t>(shift_));
    put16(header, 0x20, kMiniShift);
    put32(header, 0x28, major_ == 4 ? static_cast<std::uint32_t>(dirSectors) : 0);
    put32(header, 0x2C, static_cast<std::uint32_t>(fatSectors));
    put32(header, 0x30, dirStart);
    put32(header, 0x38, kMiniCutoff);
    put32(header, 0x3C, miniFatStart);
    put32(header, 0x40, static_cast<std::uint32_t>(miniFatSectors));
    put32(header, 0x44, difatStart);
    put32(header, 0x48, static_cast<std::uint32_t>(difatSectors));
    for (std::size_t k = 0; k < kHeaderDifatSlots; ++k)
        put32(header, 0x4C + 4 * k, k < fatSectors ? fatStart + static_cast<std::uint32_t>(k) : kFreeSect);
    put(header);

    // Zeros up to the next whole sector after size bytes.
    const std::string zeros(sectorSize, '\0');
    auto padFrom = [&](std::uint64_t size) {
        if (size % sectorSize != 0) put(std::string_view(zeros).substr(0, sectorSize - size % sectorSize));
    };
    for (const Placed& p : regular) {
        putContent(p.index, put);
        padFrom(p.size);
    }
    put(miniStream);
    padFrom(miniStream.size());

    // A table of ids, the unused tail of its last sector free.
    auto putIds = [&](const std::vector<std::uint32_t>& ids, std::uint64_t sectorCount) {
        std::string table(sectorCount * sectorSize, '\0');
        for (std::uint64_t k = 0; k < sectorCount * idsPerSector; ++k)
            put32(table, 4 * k, k < ids.size() ? ids[k] : kFreeSect);
        put(table);
    };
    putIds(miniFat, miniFatSectors);

    // Directory: every entry verbatim, then its start and size.
    auto patch = [&](std::string& entry, std::uint32_t start, std::uint64_t size) {
        put32(entry, 0x74, start);
        if (major_ == 3)
            put64(entry, 0x78, size & 0xFFFFFFFF);
        else
            put64(entry, 0x78, size);
    };
    std::vector<std::string> dir = rawDir_;
    patch(dir[0], miniStream.empty() ? kEndOfChain : miniStreamStart, miniStream.size());
    for (const auto* group : {&regular, &mini})
        for (const Placed& p : *group) patch(dir[p.index], p.start, p.size);
    std::string directory;
    directory.reserve(dirSectors * sectorSize);
    for (const std::string& entry : dir) directory += entry;
    put(directory);
    padFrom(directory.size());

    putIds(fat, fatSectors);
    for (std::uint64_t d = 0; d < difatSectors; ++d) {
        std::string sector(sectorSize, '\0');
        for (std::uint64_t k = 0; k + 1 < idsPerSector; ++k) {
            const std::uint64_t which = kHeaderDifatSlots + d * (idsPerSector - 1) + k;
            put32(sector, 4 * k,
                  which < fatSectors ? fatStart + static_cast<std::uint32_t>(which) : kFreeSect);
        }
        put32(sector, 4 * (idsPerSector - 1),
              d + 1 < difatSectors ? difatStart + static_cast<std::uint32_t>(d + 1) : kEndOfChain);
        put(sector);
    }
    if (unchanged_) unchanged_();
}

std::string CompoundFile::serialize() const {
    std::string out;
    write([&out](std::string_view piece) { out.append(piece); });
    return out;
}

}  // namespace trelwick::engine
