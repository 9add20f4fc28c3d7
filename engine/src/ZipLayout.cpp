#include "ZipLayout.h"

#include <algorithm>

#include "Bytes.h"
#include "Heap.h"

namespace trelwick::engine {
namespace {

constexpr std::uint64_t kMaxDirectoryBytes = 64ull << 20;
constexpr std::uint32_t kMax32 = 0xFFFFFFFFu;

}  // namespace

std::optional<ZipLayout> ZipLayout::read(int fd, std::uint64_t size, const std::vector<std::string>& names) {
    return read(
        [fd](std::uint64_t offset, std::uint64_t length) { return engine::readAt(fd, offset, length); }, size,
        names);
}

std::optional<ZipLayout> ZipLayout::read(ReadAt readAt, std::uint64_t size,
                                         const std::vector<std::string>& names) {
    const std::optional<Directory> directory = findDirectory(readAt, size);
    if (!directory) return std::nullopt;
    return read(std::move(readAt), size, *directory, names);
}

std::optional<ZipLayout::Directory> ZipLayout::findDirectory(const ReadAt& readAt, std::uint64_t size) {
    if (size < 22) return std::nullopt;
    const std::uint64_t tailStart = size - std::min<std::uint64_t>(size, 22 + 0xFFFF);
    const auto tail = readAt(tailStart, size - tailStart);
    if (!tail) return std::nullopt;
    // The end record is the last signature whose comment reaches exactly to the end of the file; failing
    // that, the last whose comment ends within it, as libzip reads a file carrying bytes after its end
    // record (a line end added in transfer is common). The directory must then match what libzip read.
    std::size_t end = std::string::npos;
    for (const bool exact : {true, false}) {
        for (std::size_t i = tail->size() - 22 + 1; i-- > 0 && end == std::string::npos;) {
            const std::size_t recordEnd = i + 22 + le16(*tail, i + 20);
            // A record followed by other bytes must also be one of a single-disk zip, as libzip checks.
            const bool plausible = exact ? recordEnd == tail->size()
                                         : recordEnd <= tail->size() && le16(*tail, i + 4) == 0 &&
                                               le16(*tail, i + 6) == 0 &&
                                               le16(*tail, i + 8) == le16(*tail, i + 10);
            if (le32(*tail, i) == 0x06054b50 && plausible) end = i;
        }
        if (end != std::string::npos) break;
    }
    if (end == std::string::npos) return std::nullopt;
    // With another end record in the tail, libzip weighs the directories against each other and may
    // read another than this one: entries copied from this one's offsets would then not match the
    // checksums libzip gives. Such a package is read through libzip alone.
    // (Searched with find, not a read at every offset: the tail is most of a small deck.)
    const std::string_view bytes(*tail);
    const std::string_view signature("PK\x05\x06", 4);
    if (bytes.find(signature) != end || bytes.rfind(signature, bytes.size() - 22) != end) return std::nullopt;
    std::uint64_t count = le16(*tail, end + 10);
    std::uint64_t directorySize = le32(*tail, end + 12);
    std::uint64_t directoryStart = le32(*tail, end + 16);
    const std::uint64_t endAt = tailStart + end;
    const auto locator = endAt >= 20 ? readAt(endAt - 20, 20) : std::nullopt;
    // libzip takes the zip64 record's values whenever its locator is there, not only where the end
    // record's are at their limits.
    if (locator && le32(*locator, 0) == 0x07064b50) {
        const std::uint64_t recordAt = le64(*locator, 8);
        if (recordAt > size || size - recordAt < 56) return std::nullopt;
        const auto record = readAt(recordAt, 56);
        if (!record || le32(*record, 0) != 0x06064b50) return std::nullopt;
        count = le64(*record, 32);
        directorySize = le64(*record, 40);
        directoryStart = le64(*record, 48);
    } else if (count == 0xFFFF || directorySize == kMax32 || directoryStart == kMax32) {
        return std::nullopt;
    }
    return Directory{count, directorySize, directoryStart};
}

ZipLayout::Directory ZipLayout::claimed(const ReadAt& readAt, std::uint64_t size) {
    Directory total;
    if (size < 22) return total;
    const std::uint64_t tailStart = size - std::min<std::uint64_t>(size, 22 + 0xFFFF);
    const auto tail = readAt(tailStart, size - tailStart);
    if (!tail) return total;
    const auto add = [](std::uint64_t& sum, std::uint64_t value) {
        sum = value > ~std::uint64_t{0} - sum ? ~std::uint64_t{0} : sum + value;
    };
    const std::string_view signature("PK\x05\x06", 4);
    for (std::size_t at = tail->find(signature); at != std::string::npos && at <= tail->size() - 22;
         at = tail->find(signature, at + 1)) {
        std::uint64_t count = le16(*tail, at + 10);
        std::uint64_t bytes = le32(*tail, at + 12);
        const std::uint64_t endAt = tailStart + at;
        const auto locator = endAt >= 20 ? readAt(endAt - 20, 20) : std::nullopt;
        if (locator && le32(*locator, 0) == 0x07064b50) {
            const std::uint64_t recordAt = le64(*locator, 8);
            const auto record =
                recordAt <= size && size - recordAt >= 56 ? readAt(recordAt, 56) : std::nullopt;
            if (record && le32(*record, 0) == 0x06064b50) {
                count = std::max(count, le64(*record, 32));
                bytes = std::max(bytes, le64(*record, 40));
            }
        }
        add(total.count, count);
        // A directory larger than the file is refused by libzip before it is read.
        if (bytes <= size) add(total.bytes, bytes);
    }
    return total;
}

std::optional<ZipLayout> ZipLayout::read(ReadAt readAt, std::uint64_t size, const Directory& found,
                                         const std::vector<std::string>& names) {
    if (found.count != names.size() || found.bytes > kMaxDirectoryBytes || found.start > size ||
        size - found.start < found.bytes)
        return std::nullopt;
    const auto directory = readAt(found.start, found.bytes);
    if (!directory) return std::nullopt;

    ZipLayout layout;
    layout.readAt_ = std::move(readAt);
    layout.size_ = size;
    std::size_t at = 0;
    for (const std::string& name : names) {
        if (directory->size() - at < 46 || le32(*directory, at) != 0x02014b50) return std::nullopt;
        const std::size_t nameLength = le16(*directory, at + 28);
        const std::size_t extraLength = le16(*directory, at + 30);
        const std::size_t commentLength = le16(*directory, at + 32);
        const std::size_t recordLength = 46 + nameLength + extraLength + commentLength;
        if (directory->size() - at < recordLength || directory->compare(at + 46, nameLength, name) != 0)
            return std::nullopt;
        std::uint64_t offset = le32(*directory, at + 42);
        if (offset == kMax32) {
            // The zip64 extra field lists the oversized values in a fixed order; the offset is last.
            std::size_t field = at + 46 + nameLength;
            const std::size_t fieldsEnd = field + extraLength;
            bool found = false;
            while (fieldsEnd - field >= 4) {
                const std::size_t id = le16(*directory, field);
                const std::size_t length = le16(*directory, field + 2);
                if (fieldsEnd - field - 4 < length) return std::nullopt;
                if (id == 1) {
                    std::size_t skip = 0;
                    if (le32(*directory, at + 24) == kMax32) skip += 8;
                    if (le32(*directory, at + 20) == kMax32) skip += 8;
                    if (length < skip + 8) return std::nullopt;
                    offset = le64(*directory, field + 4 + skip);
                    found = true;
                    break;
                }
                field += 4 + length;
            }
            if (!found) return std::nullopt;
        }
        if (offset >= size) return std::nullopt;
        layout.localHeaders_.push_back(offset);
        at += recordLength;
    }
    layout.names_ = names;
    return layout;
}

std::optional<std::uint64_t> ZipLayout::dataOffset(std::uint64_t index, std::uint64_t compressedSize) const {
    return dataOffset(index, compressedSize, readAt_);
}

std::optional<std::uint64_t> ZipLayout::dataOffset(std::uint64_t index, std::uint64_t compressedSize,
                                                   const ReadAt& readAt) const {
    if (index >= localHeaders_.size()) return std::nullopt;
    const std::uint64_t header = localHeaders_[index];
    if (size_ - header < 30) return std::nullopt;
    const std::string& name = names_[index];
    if (size_ - header - 30 < name.size()) return std::nullopt;
    // The header and the name after it, in one read.
    const auto local = readAt(header, 30 + name.size());
    if (!local || le32(*local, 0) != 0x04034b50 || le16(*local, 26) != name.size() ||
        local->compare(30, name.size(), name) != 0)
        return std::nullopt;
    const std::uint64_t data = header + 30 + le16(*local, 26) + le16(*local, 28);
    if (data > size_ || size_ - data < compressedSize) return std::nullopt;
    return data;
}

}  // namespace trelwick::engine
