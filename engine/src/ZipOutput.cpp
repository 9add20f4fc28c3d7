#include "ZipOutput.h"

#include <fcntl.h>
#include <libdeflate.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "Bytes.h"
#include "Failure.h"
#include "FixedDeflate.h"
#include "ReadAt.h"

namespace trelwick::engine {
namespace {

constexpr std::size_t kBufferBytes = 1u << 20;
constexpr std::uint32_t kMax32 = 0xFFFFFFFFu;
constexpr std::uint16_t kFlagUtf8 = 1u << 11;
constexpr std::uint64_t kBulkCopyBytes = kBufferBytes / 4;
constexpr std::uint16_t kPageBytes = 4096;
constexpr std::uint16_t kAlignmentField = 0xD935;
constexpr std::size_t kMinAlignmentField = 6;

bool isUtf8NonAscii(std::string_view s) {
    bool nonAscii = false;
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        // Readers (libzip among them) refuse a name marked UTF-8 that holds control characters.
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return false;
        const std::size_t len = c < 0x80           ? 1
                                : (c >> 5) == 0x6  ? 2
                                : (c >> 4) == 0xE  ? 3
                                : (c >> 3) == 0x1E ? 4
                                                   : 0;
        if (len == 0 || i + len > s.size()) return false;
        for (std::size_t k = 1; k < len; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        nonAscii |= len > 1;
        i += len;
    }
    return nonAscii;
}

void toDos(std::time_t mtime, std::uint16_t& time, std::uint16_t& date) {
    std::tm tm{};
    if (mtime == 0 || !::localtime_r(&mtime, &tm) || tm.tm_year < 80 || tm.tm_year > 207) {
        time = 0;
        date = (1 << 5) | 1;  // 1980-01-01
        return;
    }
    time = static_cast<std::uint16_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
    date = static_cast<std::uint16_t>(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
}

// One compressor per thread: setting one up costs more than deflating a typical slide.
libdeflate_compressor* compressor() {
    struct Free {
        void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
    };
    static thread_local std::unique_ptr<libdeflate_compressor, Free> instance(libdeflate_alloc_compressor(1));
    return instance.get();
}

}  // namespace

ZipOutput::ZipOutput(int fd, std::string label) : fd_(fd), label_(std::move(label)) {
    buffer_.reserve(kBufferBytes);
}

void ZipOutput::writeAll(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            fail(ErrorCode::WriteFailed, label_, "",
                 std::string("cannot write the output file (") + std::strerror(n < 0 ? errno : ENOSPC) + ")");
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

void ZipOutput::put(std::string_view bytes) {
    written_ += bytes.size();
    if (buffer_.size() + bytes.size() > kBufferBytes) {
        flush();
        if (bytes.size() >= kBufferBytes) {
            writeAll(bytes);
            return;
        }
    }
    buffer_.append(bytes);
}

void ZipOutput::flush() {
    writeAll(buffer_);
    buffer_.clear();
}

std::size_t ZipOutput::localHeaderSize(const Entry& e) {
    const bool zip64 = e.size >= kMax32 || e.compressedSize >= kMax32;
    return 30 + e.name.size() + (zip64 ? 20 : 0);
}

void ZipOutput::writeLocalHeader(const Entry& e, std::size_t padding) {
    const bool zip64 = e.size >= kMax32 || e.compressedSize >= kMax32;
    std::string h;
    append32(h, 0x04034b50);
    append16(h, zip64 ? 45 : 20);
    append16(h, e.flags);
    append16(h, e.method);
    append16(h, e.dosTime);
    append16(h, e.dosDate);
    append32(h, e.crc);
    append32(h, zip64 ? kMax32 : e.compressedSize);
    append32(h, zip64 ? kMax32 : e.size);
    append16(h, e.name.size());
    append16(h, (zip64 ? 20 : 0) + padding);
    h += e.name;
    if (zip64) {
        append16(h, 0x0001);
        append16(h, 16);
        append64(h, e.size);
        append64(h, e.compressedSize);
    }
    if (padding > 0) {
        // The alignment field zipalign uses: its ID, its length, the alignment, then zeros.
        append16(h, kAlignmentField);
        append16(h, padding - 4);
        append16(h, kPageBytes);
        h.append(padding - 6, '\0');
    }
    put(h);
}

std::size_t ZipOutput::alignmentPadding(const Entry& e, std::uint64_t sourceOffset) const {
    const std::uint64_t unpadded = (e.offset + localHeaderSize(e)) % kPageBytes;
    std::size_t need =
        static_cast<std::size_t>((sourceOffset % kPageBytes + kPageBytes - unpadded) % kPageBytes);
    if (need != 0 && need < kMinAlignmentField) need += kPageBytes;
    return need;
}

void ZipOutput::copyEntry(const ZipPackage& source, std::uint64_t index) {
    const ZipPackage::EntryInfo info = source.entryInfo(index);
    copy(source, index, info, source.entryName(index), info.mtime);
}

void ZipOutput::copyEntry(const ZipPackage& source, std::uint64_t index, const std::string& name,
                          std::time_t mtime) {
    copy(source, index, source.entryInfo(index), name, mtime);
}

void ZipOutput::copy(const ZipPackage& source, std::uint64_t index, const ZipPackage::EntryInfo& info,
                     const std::string& name, std::time_t mtime) {
    Entry e;
    e.name = name;
    if (e.name.size() > 0xFFFF) fail(ErrorCode::DamagedPackage, label_, e.name, "the entry name is too long");
    e.flags = isUtf8NonAscii(e.name) ? kFlagUtf8 : 0;
    e.method = info.method;
    e.crc = info.crc;
    e.compressedSize = info.compressedSize;
    e.size = info.size;
    toDos(mtime, e.dosTime, e.dosDate);
    e.offset = written_;
    if (const auto stored = source.storedBytes(index, e.compressedSize)) {
        writeLocalHeader(e);
        put(*stored);
        entries_.push_back(std::move(e));
        return;
    }
    const auto range = source.storedRange(index, e.compressedSize);
    // The kernel copies a large entry about 40% faster when its bytes sit at the same offset within a
    // page in both files; the local header's extra field takes up the difference.
    const bool bulk = range && e.compressedSize >= kBulkCopyBytes;
    writeLocalHeader(e, bulk ? alignmentPadding(e, range->offset) : 0);
    if (range && copyFileRange(source, *range, e)) {
        entries_.push_back(std::move(e));
        return;
    }
    std::uint64_t copied = 0;
    source.readCompressed(index, [&](std::string_view chunk) {
        copied += chunk.size();
        put(chunk);
    });
    if (copied != e.compressedSize)
        fail(ErrorCode::DamagedPackage, label_, e.name, "the zip entry is shorter than its directory says");
    entries_.push_back(std::move(e));
}

bool ZipOutput::copyFileRange(const ZipPackage& source, const ZipPackage::FileRange& range, const Entry& e) {
    // Small entries are cheaper through the buffer than through a system call of their own.
    if (e.compressedSize < kBulkCopyBytes) {
        const std::optional<std::string> bytes = source.readFile(range.offset, e.compressedSize);
        if (!bytes) return false;
        put(*bytes);
        return true;
    }
#ifndef __linux__
    return false;  // copied through the buffer below
#else
    flush();
    auto from = static_cast<off_t>(range.offset);
    std::uint64_t left = e.compressedSize;
    while (left > 0) {
        const ssize_t n = ::copy_file_range(range.fd, &from, fd_, nullptr, left, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) {
            // Some file systems (FUSE and network ones, older kernels across file systems) copy nothing
            // rather than refuse: the bytes are then read and written here, and only a source that
            // ends early there too was cut short while being stamped.
            if (left == e.compressedSize) {
                copyThroughBuffer(range, e);
                return true;
            }
            fail(ErrorCode::ReadFailed, label_, e.name, "the presentation changed while it was being read");
        }
        if (n < 0) {
            // Nothing copied yet: the caller may still copy through libzip (another file system,
            // an old kernel). Once bytes are out, a failure is a failed write.
            if (left == e.compressedSize &&
                (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP))
                return false;
            fail(ErrorCode::WriteFailed, label_, e.name,
                 std::string("cannot write the output file (") + std::strerror(errno) + ")");
        }
        left -= static_cast<std::uint64_t>(n);
    }
    // Start writing the copy back now, so that the commit's fsync finds most of a large deck on disk
    // already instead of waiting for all of it.
    ::sync_file_range(fd_, static_cast<off_t>(written_), static_cast<off_t>(e.compressedSize),
                      SYNC_FILE_RANGE_WRITE);
    written_ += e.compressedSize;
    return true;
#endif
}

void ZipOutput::copyThroughBuffer(const ZipPackage::FileRange& range, const Entry& e) {
    std::string chunk;
    for (std::uint64_t done = 0; done < e.compressedSize;) {
        const std::uint64_t n = std::min<std::uint64_t>(kBufferBytes, e.compressedSize - done);
        if (!readAt(range.fd, range.offset + done, n, chunk))
            fail(ErrorCode::ReadFailed, label_, e.name, "the presentation changed while it was being read");
        put(chunk);
        done += n;
    }
}

void ZipOutput::addDeflated(const std::string& name, std::string_view data, std::time_t mtime) {
    Entry e;
    e.name = name;
    e.flags = isUtf8NonAscii(name) ? kFlagUtf8 : 0;
    e.method = 8;
    e.crc = static_cast<std::uint32_t>(libdeflate_crc32(0, data.data(), data.size()));
    e.size = data.size();
    toDos(mtime, e.dosTime, e.dosDate);
    std::string deflated;
    if (data.size() <= kFixedDeflateMaxInput) {
        deflated = deflateFixed(data);
    } else {
        deflated.resize(libdeflate_deflate_compress_bound(compressor(), data.size()));
        const std::size_t n = libdeflate_deflate_compress(compressor(), data.data(), data.size(),
                                                          deflated.data(), deflated.size());
        if (n == 0) fail(ErrorCode::WriteFailed, label_, name, "cannot compress the part");
        deflated.resize(n);
    }
    e.compressedSize = deflated.size();
    e.offset = written_;
    writeLocalHeader(e);
    put(deflated);
    entries_.push_back(std::move(e));
}

void ZipOutput::finish() {
    const std::uint64_t directoryStart = written_;
    for (const Entry& e : entries_) {
        std::string extra;
        if (e.size >= kMax32) append64(extra, e.size);
        if (e.compressedSize >= kMax32) append64(extra, e.compressedSize);
        if (e.offset >= kMax32) append64(extra, e.offset);
        std::string h;
        append32(h, 0x02014b50);
        append16(h, (3 << 8) | 45);  // made on Unix
        append16(h, extra.empty() ? 20 : 45);
        append16(h, e.flags);
        append16(h, e.method);
        append16(h, e.dosTime);
        append16(h, e.dosDate);
        append32(h, e.crc);
        append32(h, e.compressedSize >= kMax32 ? kMax32 : e.compressedSize);
        append32(h, e.size >= kMax32 ? kMax32 : e.size);
        append16(h, e.name.size());
        append16(h, extra.empty() ? 0 : extra.size() + 4);
        append16(h, 0);  // comment
        append16(h, 0);  // disk
        append16(h, 0);  // internal attributes
        append32(h, 0100644u << 16);
        append32(h, e.offset >= kMax32 ? kMax32 : e.offset);
        h += e.name;
        if (!extra.empty()) {
            append16(h, 0x0001);
            append16(h, extra.size());
            h += extra;
        }
        put(h);
    }
    const std::uint64_t directorySize = written_ - directoryStart;
    const std::uint64_t count = entries_.size();
    const bool zip64 = count >= 0xFFFF || directorySize >= kMax32 || directoryStart >= kMax32;
    std::string end;
    if (zip64) {
        const std::uint64_t recordAt = written_;
        append32(end, 0x06064b50);
        append64(end, 44);
        append16(end, (3 << 8) | 45);
        append16(end, 45);
        append32(end, 0);
        append32(end, 0);
        append64(end, count);
        append64(end, count);
        append64(end, directorySize);
        append64(end, directoryStart);
        append32(end, 0x07064b50);
        append32(end, 0);
        append64(end, recordAt);
        append32(end, 1);
    }
    append32(end, 0x06054b50);
    append16(end, 0);
    append16(end, 0);
    append16(end, count >= 0xFFFF ? 0xFFFF : count);
    append16(end, count >= 0xFFFF ? 0xFFFF : count);
    append32(end, directorySize >= kMax32 ? kMax32 : directorySize);
    append32(end, directoryStart >= kMax32 ? kMax32 : directoryStart);
    append16(end, 0);
    put(end);
    flush();
}

}  // namespace trelwick::engine
