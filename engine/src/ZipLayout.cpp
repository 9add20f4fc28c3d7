#include "ZipLayout.h"

#include <unistd.h>

#include <algorithm>

namespace trelwick::engine {
namespace {

constexpr std::uint64_t kMaxDirectoryBytes = 64ull << 20;
constexpr std::uint32_t kMax32 = 0xFFFFFFFFu;

std::uint64_t le(const std::string& s, std::size_t at, int bytes) {
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | static_cast<std::uint8_t>(s[at + static_cast<std::size_t>(i)]);
    return v;
}

std::optional<std::string> readAt(int fd, std::uint64_t offset, std::uint64_t length) {
    std::string buffer(length, '\0');
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(fd, buffer.data() + done, length - done, static_cast<off_t>(offset + done));
        if (n <= 0) return std::nullopt;
        done += static_cast<std::size_t>(n);
    }
    return buffer;
}

}  // namespace

std::optional<ZipLayout> ZipLayout::read(int fd, std::uint64_t size, const std::vector<std::string>& names) {
    if (size < 22) return std::nullopt;
    const std::uint64_t tailStart = size - std::min<std::uint64_t>(size, 22 + 0xFFFF);
    const auto tail = readAt(fd, tailStart, size - tailStart);
    if (!tail) return std::nullopt;
    // The end record is the last signature whose comment reaches exactly to the end of the file.
    std::size_t end = std::string::npos;
    for (std::size_t i = tail->size() - 22 + 1; i-- > 0;) {
        if (le(*tail, i, 4) == 0x06054b50 && i + 22 + le(*tail, i + 20, 2) == tail->size()) {
            end = i;
            break;
        }
    }
    if (end == std::string::npos) return std::nullopt;
    std::uint64_t count = le(*tail, end + 10, 2);
    std::uint64_t directorySize = le(*tail, end + 12, 4);
    std::uint64_t directoryStart = le(*tail, end + 16, 4);
    if (count == 0xFFFF || directorySize == kMax32 || directoryStart == kMax32) {
        const std::uint64_t endAt = tailStart + end;
        if (endAt < 20) return std::nullopt;
        const auto locator = readAt(fd, endAt - 20, 20);
        if (!locator || le(*locator, 0, 4) != 0x07064b50) return std::nullopt;
        const std::uint64_t recordAt = le(*locator, 8, 8);
        if (recordAt > size || size - recordAt < 56) return std::nullopt;
        const auto record = readAt(fd, recordAt, 56);
        if (!record || le(*record, 0, 4) != 0x06064b50) return std::nullopt;
        count = le(*record, 32, 8);
        directorySize = le(*record, 40, 8);
        directoryStart = le(*record, 48, 8);
    }
    if (count != names.size() || directorySize > kMaxDirectoryBytes || directoryStart > size ||
        size - directoryStart < directorySize)
        return std::nullopt;
    const auto directory = readAt(fd, directoryStart, directorySize);
    if (!directory) return std::nullopt;

    ZipLayout layout;
    layout.fd_ = fd;
    layout.size_ = size;
    std::size_t at = 0;
    for (const std::string& name : names) {
        if (directory->size() - at < 46 || le(*directory, at, 4) != 0x02014b50) return std::nullopt;
        const std::size_t nameLength = le(*directory, at + 28, 2);
        const std::size_t extraLength = le(*directory, at + 30, 2);
        const std::size_t commentLength = le(*directory, at + 32, 2);
        const std::size_t recordLength = 46 + nameLength + extraLength + commentLength;
        if (directory->size() - at < recordLength || directory->compare(at + 46, nameLength, name) != 0)
            return std::nullopt;
        std::uint64_t offset = le(*directory, at + 42, 4);
        if (offset == kMax32) {
            // The zip64 extra field lists the oversized values in a fixed order; the offset is last.
            std::size_t field = at + 46 + nameLength;
            const std::size_t fieldsEnd = field + extraLength;
            bool found = false;
            while (fieldsEnd - field >= 4) {
                const std::size_t id = le(*directory, field, 2);
                const std::size_t length = le(*directory, field + 2, 2);
                if (fieldsEnd - field - 4 < length) return std::nullopt;
                if (id == 1) {
                    std::size_t skip = 0;
                    if (le(*directory, at + 24, 4) == kMax32) skip += 8;
                    if (le(*directory, at + 20, 4) == kMax32) skip += 8;
                    if (length < skip + 8) return std::nullopt;
                    offset = le(*directory, field + 4 + skip, 8);
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
    return layout;
}

std::optional<std::uint64_t> ZipLayout::dataOffset(std::uint64_t index, std::uint64_t compressedSize) const {
    if (index >= localHeaders_.size()) return std::nullopt;
    const std::uint64_t header = localHeaders_[index];
    if (size_ - header < 30) return std::nullopt;
    const auto local = readAt(fd_, header, 30);
    if (!local || le(*local, 0, 4) != 0x04034b50) return std::nullopt;
    const std::uint64_t data = header + 30 + le(*local, 26, 2) + le(*local, 28, 2);
    if (data > size_ || size_ - data < compressedSize) return std::nullopt;
    return data;
}

}  // namespace trelwick::engine
