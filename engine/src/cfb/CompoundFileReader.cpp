#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <tuple>

#include "../Failure.h"
#include "../Heap.h"
#include "CompoundFile.h"
#include "CompoundFormat.h"

namespace trelwick::engine {
namespace {

using namespace cfb;

// Walks the sector tables of one container. Every sector may be claimed once (FAT, DIFAT, directory,
// mini FAT, mini stream, stream data): a chain that comes back to a sector already claimed loops or
// overlaps another, and either way the file is damaged. This also bounds the work and the memory by
// the number of sectors.
class Walker {
  public:
    // Reads bytes of the file, zeros past its end.
    using Read = std::function<void(std::uint64_t offset, std::uint64_t length, char* to)>;

    Walker(Read read, std::uint64_t fileLength, unsigned shift, const std::string& label)
        : read_(std::move(read)),
          fileLength_(fileLength),
          sectorSize_(std::uint64_t{1} << shift),
          sectorCount_((fileLength + sectorSize_ - 1) / sectorSize_ - 1),
          claimed_(sectorCount_, false),
          label_(label) {}

    std::uint64_t sectorCount() const { return sectorCount_; }
    std::uint64_t sectorSize() const { return sectorSize_; }

    [[noreturn]] void damaged(const std::string& part, const std::string& what) const {
        failDamaged(label_, part, what);
    }

    // Marks one sector as used by `what`; the sector must exist and not be used already.
    void claim(std::uint32_t id, const std::string& part, const char* what) {
        if (id >= sectorCount_)
            damaged(part, std::string(what) + " points to sector " + std::to_string(id) +
                              ", past the end of the file");
        if (claimed_[id]) damaged(part, std::string(what) + " loops or shares sector " + std::to_string(id));
        claimed_[id] = true;
    }

    // Valid until the next call.
    std::string_view sector(std::uint32_t id) {
        sector_.resize(sectorSize_);
        read_((std::uint64_t{id} + 1) * sectorSize_, sectorSize_, sector_.data());
        return sector_;
    }

    void readFat(const std::vector<std::uint32_t>& fatSectors) {
        fat_.reserve(fatSectors.size() * (sectorSize_ / 4));
        for (std::uint32_t id : fatSectors) {
            const std::string_view s = sector(id);
            for (std::size_t at = 0; at < s.size(); at += 4) fat_.push_back(le32(s, at));
        }
    }

    std::uint32_t next(std::uint32_t id) const { return id < fat_.size() ? fat_[id] : kFreeSect; }

    // Follows a FAT chain from start. limit caps the sectors taken (a chain may run on past what its
    // owner needs); without a limit the chain must end with ENDOFCHAIN. Too short a chain is damage.
    std::vector<std::uint32_t> chain(std::uint32_t start, std::uint64_t limit, const std::string& part,
                                     const char* what) {
        std::vector<std::uint32_t> ids;
        std::uint32_t id = start;
        while (ids.size() < limit && id != kEndOfChain) {
            claim(id, part, what);
            ids.push_back(id);
            id = next(id);
        }
        if (ids.size() < limit && limit != kUnlimited) damaged(part, std::string(what) + " ends too early");
        return ids;
    }

    // Writers may drop the unused tail of the file's last sector; the content may not reach into it.
    void checkWithinFile(const std::vector<std::uint32_t>& ids, std::uint64_t length, const std::string& part,
                         const char* what) const {
        std::uint64_t done = 0;
        for (std::uint32_t id : ids) {
            const std::uint64_t take = std::min<std::uint64_t>(sectorSize_, length - done);
            if ((std::uint64_t{id} + 1) * sectorSize_ + take > fileLength_)
                damaged(part, std::string(what) + " is cut off by the end of the file");
            done += take;
        }
    }

    // The first length bytes of the chain's sectors.
    std::string gather(const std::vector<std::uint32_t>& ids, std::uint64_t length, const std::string& part,
                       const char* what) {
        checkWithinFile(ids, length, part, what);
        std::string out;
        out.reserve(length);
        for (std::uint32_t id : ids)
            out.append(sector(id).substr(0, std::min<std::uint64_t>(sectorSize_, length - out.size())));
        return out;
    }

    static constexpr std::uint64_t kUnlimited = ~std::uint64_t{0};

  private:
    Read read_;
    std::string sector_;
    std::uint64_t fileLength_;
    std::uint64_t sectorSize_;
    std::uint64_t sectorCount_;
    std::vector<bool> claimed_;
    std::vector<std::uint32_t> fat_;
    const std::string& label_;
};

std::string entryName(std::string_view entry) {
    const std::size_t length = std::min<std::size_t>(le16(entry, 0x40), 64) / 2;
    std::u16string units;
    for (std::size_t i = 0; i < length; ++i) {
        const char16_t unit = le16(entry, 2 * i);
        if (unit == 0) break;
        units.push_back(unit);
    }
    return utf8(units);
}

std::uint64_t entrySize(std::string_view entry, std::uint16_t major) {
    // Version 3 writers may leave garbage in the high dword; MS-CFB says to ignore it.
    return major == 3 ? le32(entry, 0x78) : le64(entry, 0x78);
}

// The version and sector shift of the header at the start of bytes, checked.
std::pair<std::uint16_t, std::uint16_t> checkHeader(std::string_view bytes, const std::string& label) {
    auto damaged = [&](const std::string& what) { failDamaged(label, "", what); };
    if (bytes.size() < kHeaderBytes) damaged("the compound file header is cut off");
    if (bytes.compare(0, kSignature.size(), kSignature) != 0)
        damaged("the file has no compound file signature");
    const std::string_view header = bytes.substr(0, kHeaderBytes);
    const std::uint16_t major = le16(header, 0x1A);
    const std::uint16_t shift = le16(header, 0x1E);
    if (!((major == 3 && shift == 9) || (major == 4 && shift == 12)))
        damaged("the compound file has version " + std::to_string(major) + " with sector shift " +
                std::to_string(shift) + " (only 3 with 512-byte and 4 with 4096-byte sectors exist)");
    if (le16(header, 0x20) != kMiniShift || le32(header, 0x38) != kMiniCutoff)
        damaged("the compound file declares a mini sector size or cutoff other than 64 and 4096");
    return {major, shift};
}

}  // namespace

std::uint64_t CompoundFile::bytesToRead(std::string_view header, std::uint64_t fileSize,
                                        const std::string& label) {
    const auto [major, shift] = checkHeader(header, label);
    const std::uint64_t sectorSize = std::uint64_t{1} << shift;
    // The sectors the FAT sectors can describe, after the header's own.
    const std::uint64_t reach = (std::uint64_t{le32(header, 0x2C)} * (sectorSize / 4) + 1) * sectorSize;
    return std::min(fileSize, reach);
}

CompoundFile CompoundFile::parse(std::string bytes, const std::string& label) {
    if (bytes.size() > kMaxBytes)
        fail(ErrorCode::LimitExceeded, label, "", "the compound file is larger than 2 GB");
    const std::uint64_t length = bytes.size();
    // Padded to whole sectors, as serialize() writes them and bytes() gives them back.
    if (length >= kHeaderBytes) {
        const std::uint64_t sectorSize = std::uint64_t{1} << checkHeader(bytes, label).second;
        bytes.resize((length + sectorSize - 1) / sectorSize * sectorSize, '\0');
    }
    auto owned = std::make_shared<const std::string>(std::move(bytes));
    CompoundFile file = parse(
        [owned](std::uint64_t offset, std::uint64_t count, char* to) {
            if (offset > owned->size() || owned->size() - offset < count) return false;
            std::memcpy(to, owned->data() + offset, count);
            return true;
        },
        length, label);
    file.bytes_ = std::move(owned);
    return file;
}

const std::string& CompoundFile::bytes() const {
    static const std::string none;
    return bytes_ ? *bytes_ : none;
}

void CompoundFile::readBytes(std::uint64_t offset, std::uint64_t length, char* to) const {
    // Writers may drop the unused tail of the last sector: it reads as zeros, and the walk checks that
    // no content reaches into it.
    const std::uint64_t within = offset >= length_ ? 0 : std::min(length, length_ - offset);
    if (within > 0 && !read_(offset, within, to))
        fail(ErrorCode::ReadFailed, label_, "", "the file cannot be read");
    if (within < length) std::memset(to + within, 0, length - within);
}

CompoundFile CompoundFile::parse(ReadInto read, std::uint64_t fileLength, const std::string& label,
                                 std::function<void()> unchanged) {
    if (fileLength > kMaxBytes)
        fail(ErrorCode::LimitExceeded, label, "", "the compound file is larger than 2 GB");
    CompoundFile file;
    file.label_ = label;
    file.read_ = std::move(read);
    file.unchanged_ = std::move(unchanged);
    file.length_ = fileLength;
    auto damaged = [&](const std::string& what) { failDamaged(label, "", what); };
    std::string head(std::min<std::uint64_t>(fileLength, kHeaderBytes), '\0');
    file.readBytes(0, head.size(), head.data());
    std::tie(file.major_, file.shift_) = checkHeader(head, label);
    const std::uint64_t sectorSize = std::uint64_t{1} << file.shift_;
    if (fileLength < sectorSize) damaged("the compound file header is cut off");

    Walker walk(
        [&file](std::uint64_t offset, std::uint64_t length, char* to) { file.readBytes(offset, length, to); },
        fileLength, file.shift_, label);

    const std::uint32_t fatCount = le32(head, 0x2C);
    if (fatCount > walk.sectorCount())
        damaged("the compound file declares " + std::to_string(fatCount) +
                " FAT sectors, more than it holds");
    std::vector<std::uint32_t> fatSectors;
    auto listFat = [&](std::uint32_t id) {
        walk.claim(id, "", "the FAT sector list");
        fatSectors.push_back(id);
    };
    for (std::size_t i = 0; i < kHeaderDifatSlots && fatSectors.size() < fatCount; ++i)
        listFat(le32(head, 0x4C + 4 * i));
    const std::uint64_t perDifat = sectorSize / 4 - 1;
    std::uint32_t difat = le32(head, 0x44);
    const std::uint32_t difatCount = le32(head, 0x48);
    if (difatCount > walk.sectorCount())
        damaged("the compound file declares " + std::to_string(difatCount) +
                " DIFAT sectors, more than it holds");
    while (fatSectors.size() < fatCount) {
        if (difat == kEndOfChain || difat == kFreeSect)
            damaged("the DIFAT lists fewer FAT sectors than declared");
        walk.claim(difat, "", "the DIFAT chain");
        const std::string_view s = walk.sector(difat);
        for (std::uint64_t i = 0; i < perDifat && fatSectors.size() < fatCount; ++i) listFat(le32(s, 4 * i));
        difat = le32(s, 4 * perDifat);
    }
    walk.readFat(fatSectors);

    const std::vector<std::uint32_t> dirSectors =
        walk.chain(le32(head, 0x30), Walker::kUnlimited, "", "the directory chain");
    if (dirSectors.empty()) damaged("the compound file has no directory");
    for (std::uint32_t id : dirSectors) {
        if ((std::uint64_t{id} + 2) * sectorSize > fileLength) damaged("the directory is cut off");
        const std::string_view s = walk.sector(id);
        for (std::size_t at = 0; at < s.size(); at += kEntryBytes)
            file.rawDir_.emplace_back(s.substr(at, kEntryBytes));
    }
    if (file.rawDir_.size() >= kNoStream) damaged("the directory has too many entries");
    file.entries_.resize(file.rawDir_.size());
    for (std::size_t i = 0; i < file.rawDir_.size(); ++i) {
        file.entries_[i].type = static_cast<std::uint8_t>(file.rawDir_[i][0x42]);
        file.entries_[i].size = entrySize(file.rawDir_[i], file.major_);
    }
    if (file.entries_[0].type != kRootType) damaged("the first directory entry is not the root");

    // The directory is a tree of left/right siblings and children; a hostile one may loop or link free
    // entries. Each entry is taken once, storages nest at most kMaxDepth deep, and the paths together
    // may not outgrow the directory by much: deep storages with many children would otherwise make
    // them quadratic in the file size.
    struct Visit {
        std::uint32_t id;
        std::uint32_t parent;  // 0 for the root
        std::size_t depth;
    };
    const std::uint64_t maxPathBytes = 4 * file.rawDir_.size() * kEntryBytes + (1u << 20);
    std::uint64_t pathBytes = 0;
    std::vector<bool> seen(file.rawDir_.size(), false);
    seen[0] = true;
    std::vector<Visit> pending{{le32(file.rawDir_[0], 0x4C), 0, 1}};
    while (!pending.empty()) {
        const Visit v = pending.back();
        pending.pop_back();
        if (v.id == kNoStream) continue;
        if (v.id >= file.rawDir_.size())
            damaged("the directory links to entry " + std::to_string(v.id) + ", which does not exist");
        if (seen[v.id]) damaged("the directory tree loops at entry " + std::to_string(v.id));
        seen[v.id] = true;
        const std::string& raw = file.rawDir_[v.id];
        Entry& entry = file.entries_[v.id];
        if (entry.type != kStorageType && entry.type != kStreamType)
            damaged("the directory tree links entry " + std::to_string(v.id) +
                    ", which is neither stream nor storage");
        entry.path = v.parent == 0 ? entryName(raw) : file.entries_[v.parent].path + "/" + entryName(raw);
        pathBytes += entry.path.size();
        if (pathBytes > maxPathBytes) damaged("the directory's storages nest too many entries too deep");
        pending.push_back({le32(raw, 0x44), v.parent, v.depth});
        pending.push_back({le32(raw, 0x48), v.parent, v.depth});
        const std::uint32_t child = le32(raw, 0x4C);
        if (entry.type == kStreamType && child != kNoStream)
            damaged("the stream " + entry.path + " has children");
        if (entry.type == kStorageType && child != kNoStream) {
            if (v.depth >= kMaxDepth)
                damaged("the storages nest more than " + std::to_string(kMaxDepth) + " deep");
            pending.push_back({child, v.id, v.depth + 1});
        }
    }

    // Names are compared without case, as readers look them up: two entries of one name in a storage
    // leave which one is read to the reader, and a stamp would change only one.
    std::set<std::string> folded;
    for (const Entry& entry : file.entries_) {
        if (entry.path.empty()) continue;
        if (!folded.insert(toLower(entry.path)).second)
            damaged("the directory holds " + entry.path + " twice");
    }

    // The mini stream is the root entry's content; the mini FAT links its 64-byte sectors.
    const std::uint64_t miniSize = file.entries_[0].size;
    if (miniSize > fileLength) damaged("the mini stream is larger than the file");
    const auto miniIds = walk.chain(le32(file.rawDir_[0], 0x74), (miniSize + sectorSize - 1) / sectorSize, "",
                                    "the mini stream chain");
    file.miniStream_ = walk.gather(miniIds, miniSize, "", "the mini stream");
    const std::uint64_t miniSectors = (miniSize + kMiniSectorBytes - 1) / kMiniSectorBytes;
    std::vector<std::uint32_t> miniFat;
    if (miniSectors > 0) {
        for (std::uint32_t id : walk.chain(le32(head, 0x3C), Walker::kUnlimited, "", "the mini FAT chain")) {
            const std::string_view s = walk.sector(id);
            for (std::size_t at = 0; at < s.size(); at += 4) miniFat.push_back(le32(s, at));
        }
    }
    std::vector<bool> miniClaimed(miniSectors, false);

    for (std::size_t i = 1; i < file.entries_.size(); ++i) {
        Entry& entry = file.entries_[i];
        if (entry.type != kStreamType) continue;
        const std::string part = entry.path.empty() ? "directory entry " + std::to_string(i) : entry.path;
        const std::uint32_t start = le32(file.rawDir_[i], 0x74);
        if (entry.size > fileLength) damaged("the stream " + part + " declares a size larger than the file");
        if (entry.size >= kMiniCutoff) {
            entry.chain =
                walk.chain(start, (entry.size + sectorSize - 1) / sectorSize, part, "the stream chain");
            walk.checkWithinFile(entry.chain, entry.size, part, "the stream");
            continue;
        }
        entry.mini = true;
        const std::uint64_t needed = (entry.size + kMiniSectorBytes - 1) / kMiniSectorBytes;
        std::uint32_t id = start;
        while (entry.chain.size() < needed) {
            if (id == kEndOfChain) failDamaged(label, part, "the mini stream chain ends too early");
            if (id >= miniSectors)
                failDamaged(label, part,
                            "the mini stream chain points to mini sector " + std::to_string(id) +
                                ", past the mini stream");
            if (miniClaimed[id])
                failDamaged(label, part,
                            "the mini stream chain loops or shares mini sector " + std::to_string(id));
            const std::uint64_t take =
                std::min<std::uint64_t>(kMiniSectorBytes, entry.size - entry.chain.size() * kMiniSectorBytes);
            if (std::uint64_t{id} * kMiniSectorBytes + take > file.miniStream_.size())
                failDamaged(label, part, "the stream is cut off by the end of the mini stream");
            miniClaimed[id] = true;
            entry.chain.push_back(id);
            id = id < miniFat.size() ? miniFat[id] : kFreeSect;
        }
    }
    return file;
}

std::vector<std::string> CompoundFile::streamPaths() const {
    std::vector<std::string> paths;
    for (const Entry& e : entries_)
        if (e.type == cfb::kStreamType && !e.path.empty()) paths.push_back(e.path);
    return paths;
}

std::vector<std::string> CompoundFile::storagePaths() const {
    std::vector<std::string> paths;
    for (const Entry& e : entries_)
        if (e.type == cfb::kStorageType && !e.path.empty()) paths.push_back(e.path);
    return paths;
}

bool CompoundFile::hasStream(std::string_view path) const {
    return std::any_of(entries_.begin(), entries_.end(), [&](const Entry& e) {
        return e.type == cfb::kStreamType && !e.path.empty() && equalsIgnoringCase(e.path, path);
    });
}

bool CompoundFile::hasStorage(std::string_view path) const {
    return std::any_of(entries_.begin(), entries_.end(), [&](const Entry& e) {
        return e.type == cfb::kStorageType && !e.path.empty() && equalsIgnoringCase(e.path, path);
    });
}

std::size_t CompoundFile::streamIndex(std::string_view path) const {
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].type == cfb::kStreamType && !entries_[i].path.empty() &&
            equalsIgnoringCase(entries_[i].path, path))
            return i;
    failDamaged(label_, std::string(path), "the compound file has no such stream");
}

std::uint64_t CompoundFile::contentSize(std::size_t index) const {
    const auto it = replaced_.find(index);
    return it != replaced_.end() ? it->second.size() : entries_[index].size;
}

void CompoundFile::copyContent(std::size_t index, char* to) const {
    const Entry& e = entries_[index];
    if (replaced_.count(index) > 0 || !e.mini) {
        std::uint64_t done = 0;
        putContent(index, [&](std::string_view piece) {
            std::memcpy(to + done, piece.data(), piece.size());
            done += piece.size();
        });
        return;
    }
    std::uint64_t done = 0;
    for (std::uint32_t id : e.chain) {
        if (done == e.size) break;
        const std::uint64_t take = std::min<std::uint64_t>(cfb::kMiniSectorBytes, e.size - done);
        std::memcpy(to + done, miniStream_.data() + id * cfb::kMiniSectorBytes, take);
        done += take;
    }
}

void CompoundFile::putContent(std::size_t index, const Put& put) const {
    if (const auto it = replaced_.find(index); it != replaced_.end()) return put(it->second);
    const Entry& e = entries_[index];
    if (e.mini) return put(contentOf(index));
    // Sector n lies after the header, which takes the place of one sector. Sectors that follow each
    // other in the file are read together.
    const std::uint64_t unit = std::uint64_t{1} << shift_;
    constexpr std::uint64_t kPieceBytes = 1 << 20;
    std::string piece;
    std::uint64_t done = 0;
    for (std::size_t k = 0; k < e.chain.size() && done < e.size;) {
        std::size_t end = k + 1;
        while (end < e.chain.size() && e.chain[end] == e.chain[end - 1] + 1 &&
               (end - k) * unit < std::min(kPieceBytes, e.size - done))
            ++end;
        const std::uint64_t take = std::min<std::uint64_t>((end - k) * unit, e.size - done);
        piece.resize(take);
        readBytes((std::uint64_t{e.chain[k]} + 1) * unit, take, piece.data());
        put(piece);
        done += take;
        k = end;
    }
}

std::string CompoundFile::contentOf(std::size_t index) const {
    std::string out = zeroed(contentSize(index));
    copyContent(index, out.data());
    return out;
}

std::string CompoundFile::readStream(std::string_view path) const {
    return contentOf(streamIndex(path));
}

std::uint64_t CompoundFile::streamSize(std::string_view path) const {
    const std::size_t index = streamIndex(path);
    const auto it = replaced_.find(index);
    return it != replaced_.end() ? it->second.size() : entries_[index].size;
}

void CompoundFile::replaceStream(std::string_view path, std::string bytes) {
    const std::size_t index = streamIndex(path);
    if (bytes.size() > kMaxBytes)
        fail(ErrorCode::LimitExceeded, label_, std::string(path), "the new stream is larger than 2 GB");
    replaced_[index] = std::move(bytes);
}

}  // namespace trelwick::engine
