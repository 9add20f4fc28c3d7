#include "ZipPackage.h"

#include <fcntl.h>
#include <libdeflate.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <system_error>

#include "Failure.h"
#include "Heap.h"
#include "OleProbe.h"

namespace trelwick::engine {

std::string zip_strerror_code(int code);

namespace {

constexpr std::uint64_t kRatioCheckFloor = 1u << 20;

// Sniffed kind of a file from its first bytes.
enum class Magic { Zip, EmptyZip, Ole, Other };

Magic sniff(const std::string& head) {
    if (head.size() >= 4 && head.compare(0, 4, "PK\x03\x04", 4) == 0) return Magic::Zip;
    if (head.size() >= 4 && head.compare(0, 4, "PK\x05\x06", 4) == 0) return Magic::EmptyZip;
    if (OleProbe::hasMagic(head)) return Magic::Ole;
    return Magic::Other;
}

[[noreturn]] void refuseOle(OleContent content, const std::string& label) {
    switch (content) {
        case OleContent::Encrypted:
            fail(ErrorCode::PasswordProtected, label, "", "the presentation is protected by a password");
        case OleContent::LegacyPowerPoint:
            // Presentation opens these as legacy decks before a zip is tried; this is a zip reader.
            fail(ErrorCode::NotAPresentation, label, "",
                 "the file is a legacy .ppt presentation, not a zip package");
        case OleContent::Other:
            break;
    }
    fail(ErrorCode::NotAPresentation, label, "", "the file is an OLE compound file, not a presentation");
}

[[noreturn]] void failOpen(int code, const std::string& label) {
    switch (code) {
        case ZIP_ER_NOZIP:
        case ZIP_ER_INCONS:
        case ZIP_ER_CRC:
        case ZIP_ER_COMPNOTSUPP:
        case ZIP_ER_ZLIB:
        case ZIP_ER_EOF:
            fail(ErrorCode::DamagedPackage, label, "",
                 "the zip container is damaged (" + std::string(zip_strerror_code(code)) + ")");
        // The file is open already: libzip says "No such file" when a size or position set to its
        // largest value (kept in a Zip64 field instead) has no such field to read it from.
        case ZIP_ER_NOENT:
            fail(ErrorCode::DamagedPackage, label, "",
                 "the zip container is damaged (an entry's size or position refers to a Zip64 field it "
                 "lacks)");
        case ZIP_ER_MEMORY:
            fail(ErrorCode::LimitExceeded, label, "", "the zip directory is too large");
        default:
            fail(ErrorCode::ReadFailed, label, "",
                 "cannot read the file (" + std::string(zip_strerror_code(code)) + ")");
    }
}

ReadAt readerOf(int fd) {
    return [fd](std::uint64_t offset, std::uint64_t length) { return readAt(fd, offset, length); };
}

// A small read of a package file and what is read ahead with it.
constexpr std::uint64_t kWindowedReadBytes = 32 << 10;
constexpr std::uint64_t kWindowBytes = 128 << 10;

// Bytes that must outlive the reader.
ReadAt readerOf(const std::string& bytes) {
    return [&bytes](std::uint64_t offset, std::uint64_t length) -> std::optional<std::string> {
        if (offset > bytes.size() || bytes.size() - offset < length) return std::nullopt;
        return bytes.substr(offset, length);
    };
}

// What libzip may read of the directories of several end records together; one directory of a real
// deck of 100,000 entries is under 10 MB.
constexpr std::uint64_t kMaxDirectoriesBytes = 64ull << 20;

// libzip reads the whole central directory before its entries can be counted (a crafted one of
// 1.5 million records took 374 MB first): too many are refused from what the end records say, all
// of them together, as libzip reads the directory of each it can (2,900 end records of one directory
// of 2,000 entries took 5 s).
std::optional<ZipLayout::Directory> directoryWithinLimits(const ReadAt& readAt, std::uint64_t size,
                                                          const Limits& limits, const std::string& label) {
    std::optional<ZipLayout::Directory> directory = ZipLayout::findDirectory(readAt, size);
    // A directory found is the one end record in the tail; else all are counted (a second read of the
    // tail, for odd zips only).
    if (directory) {
        if (directory->count > limits.maxEntries)
            fail(ErrorCode::LimitExceeded, label, "", "the package holds too many entries");
        return directory;
    }
    const ZipLayout::Directory claimed = ZipLayout::claimed(readAt, size);
    if (claimed.count > limits.maxEntries)
        fail(ErrorCode::LimitExceeded, label, "", "the package holds too many entries");
    // Each is read whole: 2,900 end records of one 5 MB directory took 2 s.
    if (claimed.bytes > kMaxDirectoriesBytes)
        fail(ErrorCode::LimitExceeded, label, "",
             "the end records of the package claim too large directories");
    return directory;
}

}  // namespace

std::unique_ptr<ZipPackage> ZipPackage::openFile(SourceFile source, const Limits& limits) {
    const std::string& label = source.label();
    const std::uint64_t size = source.size();
    auto readAt = [&source](std::uint64_t offset, std::size_t length) { return source.read(offset, length); };
    const std::string head = readAt(0, 8);
    switch (sniff(head)) {
        case Magic::Ole:
            refuseOle(OleProbe::inspect(size, readAt), label);
        case Magic::Other:
            fail(ErrorCode::NotAPresentation, label, "",
                 "the file is not a presentation (neither a zip package nor a PowerPoint 97-2003 file)");
        case Magic::EmptyZip:
        case Magic::Zip:
            break;
    }
    const auto directory = directoryWithinLimits(readerOf(source.fd()), size, limits, label);
    // libzip reads through one descriptor; a duplicate of it (the same open file, even if the path
    // is replaced meanwhile) lets the save copy unchanged entries file to file.
    const int copyFd = ::fcntl(source.fd(), F_DUPFD_CLOEXEC, 0);
    const std::optional<FileVersion> opened = source.version();
    int code = 0;
    zip_t* zip = zip_fdopen(source.fd(), 0, &code);
    if (!zip) {
        if (copyFd >= 0) ::close(copyFd);
        failOpen(code, label);
    }
    source.release();  // libzip owns it now
    std::unique_ptr<ZipPackage> package;
    try {
        package.reset(new ZipPackage(zip, label, limits));
    } catch (...) {
        // Refused while its entries were listed: the duplicate is not the package's yet.
        if (copyFd >= 0) ::close(copyFd);
        throw;
    }
    package->fd_ = copyFd;
    package->opened_ = opened;
    package->fileSize_ = size;
    package->directory_ = directory;
    package->refuseSharedBytes();
    return package;
}

void ZipPackage::refuseIfFileChanged() const {
    FileVersion::refuseIfWritten(fd_, opened_, label_);
}

std::unique_ptr<ZipPackage> ZipPackage::openBytes(std::string bytes, const std::string& label,
                                                  const Limits& limits) {
    if (bytes.empty()) fail(ErrorCode::NotAPresentation, label, "", "the file is empty");
    switch (sniff(bytes.substr(0, 8))) {
        case Magic::Ole:
            refuseOle(OleProbe::inspect(bytes.size(),
                                        [&bytes](std::uint64_t offset, std::size_t length) {
                                            return offset >= bytes.size() ? std::string()
                                                                          : bytes.substr(offset, length);
                                        }),
                      label);
        case Magic::Other:
            fail(ErrorCode::NotAPresentation, label, "",
                 "the file is not a presentation (neither a zip package nor a PowerPoint 97-2003 file)");
        case Magic::EmptyZip:
        case Magic::Zip:
            break;
    }
    auto holder = std::make_unique<std::string>(std::move(bytes));
    const auto directory = directoryWithinLimits(readerOf(*holder), holder->size(), limits, label);
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(holder->data(), holder->size(), 0, &error);
    if (!source) fail(ErrorCode::ReadFailed, label, "", "cannot read the bytes");
    zip_t* zip = zip_open_from_source(source, ZIP_RDONLY, &error);
    if (!zip) {
        zip_source_free(source);
        const int code = zip_error_code_zip(&error);
        zip_error_fini(&error);
        failOpen(code, label);
    }
    zip_error_fini(&error);
    std::unique_ptr<ZipPackage> package(new ZipPackage(zip, label, limits));
    package->bytes_ = std::move(holder);
    package->fileSize_ = package->bytes_->size();
    package->directory_ = directory;
    package->refuseSharedBytes();
    return package;
}

void ZipPackage::refuseSharedBytes() const {
    // Entries of a real package each have bytes of their own. Entries naming the same bytes (a zip
    // bomb of overlapping entries) are each copied whole into the saved deck, never inflated: a 1.2 MB
    // deck of 2,000 entries naming one block of 1 MB was saved as 2 GB.
    std::uint64_t stored = 0;
    for (std::uint64_t i = 0; i < names_.size(); ++i) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(zip_, i, 0, &st) != 0 || !(st.valid & ZIP_STAT_COMP_SIZE)) continue;
        if (st.comp_size > fileSize_) continue;  // damaged, as reading it will tell
        stored += st.comp_size;
        if (stored > fileSize_)
            fail(ErrorCode::LimitExceeded, label_, "",
                 "the package's entries share their stored bytes (zip bomb)");
    }
}

ZipPackage::ZipPackage(zip_t* zip, std::string label, const Limits& limits)
    : zip_(zip), label_(std::move(label)), limits_(limits) {
    const zip_int64_t count = zip_get_num_entries(zip_, 0);
    if (count < 0 || static_cast<std::uint64_t>(count) > limits_.maxEntries) {
        zip_discard(zip_);
        fail(ErrorCode::LimitExceeded, label_, "", "the package holds too many entries");
    }
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(zip_, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
        names_.emplace_back(name ? name : "");
        // Part names are compared without case; two entries for one part leave it unclear which is
        // the part, and the save could not write both.
        if (!byLowerName_.emplace(toLower(names_.back()), static_cast<std::uint64_t>(i)).second) {
            zip_discard(zip_);
            fail(ErrorCode::DamagedPackage, label_, names_.back(), "the package holds this part twice");
        }
    }
    // Readers on Windows take a backslash in a name for a folder separator: "ppt\slides\slide1.xml"
    // is then "ppt/slides/slide1.xml" too, and which of the two they read is as unclear.
    for (const std::string& name : names_) {
        if (name.find('\\') == std::string::npos) continue;
        std::string folded = toLower(name);
        std::replace(folded.begin(), folded.end(), '\\', '/');
        if (byLowerName_.count(folded) > 0 || !backslashed_.insert(folded).second) {
            zip_discard(zip_);
            fail(ErrorCode::DamagedPackage, label_, name, "the package holds this part twice");
        }
    }
}

ZipPackage::~ZipPackage() {
    if (zip_) zip_discard(zip_);
    if (fd_ >= 0) ::close(fd_);
}

const std::optional<ZipLayout>& ZipPackage::layout() const {
    if (!layoutRead_) {
        layoutRead_ = true;
        if (!directory_) {
            // Not found, or found more than one way: libzip alone reads such a package.
        } else if (fd_ >= 0) {
            auto windowed = [this](std::uint64_t offset, std::uint64_t length) {
                return readFile(offset, length);
            };
            layout_ = ZipLayout::read(std::move(windowed), fileSize_, *directory_, names_);
        } else if (bytes_) {
            layout_ = ZipLayout::read(readerOf(*bytes_), bytes_->size(), *directory_, names_);
        }
    }
    return layout_;
}

std::optional<ZipPackage::FileRange> ZipPackage::storedRange(std::uint64_t index,
                                                             std::uint64_t compressedSize) const {
    if (fd_ < 0 || !layout()) return std::nullopt;
    // A large entry is copied or read on its own: what lies after its header is not worth reading ahead.
    const auto offset = compressedSize <= kWindowedReadBytes
                            ? layout_->dataOffset(index, compressedSize)
                            : layout_->dataOffset(index, compressedSize, readerOf(fd_));
    if (!offset) return std::nullopt;
    return FileRange{fd_, *offset};
}

std::optional<std::string> ZipPackage::readFile(std::uint64_t offset, std::uint64_t length) const {
    if (fd_ < 0) return std::nullopt;
    if (length > kWindowedReadBytes) return readAt(fd_, offset, length);
    const bool inWindow = offset >= windowStart_ && offset - windowStart_ <= window_.size() &&
                          window_.size() - (offset - windowStart_) >= length;
    if (!inWindow) {
        if (offset > fileSize_ || fileSize_ - offset < length) return readAt(fd_, offset, length);
        if (!readAt(fd_, offset, std::min(kWindowBytes, fileSize_ - offset), window_)) {
            // Cut short since it was opened: only what was asked for can tell.
            window_.clear();
            return readAt(fd_, offset, length);
        }
        windowStart_ = offset;
    }
    return window_.substr(offset - windowStart_, length);
}

std::optional<std::string_view> ZipPackage::storedBytes(std::uint64_t index,
                                                        std::uint64_t compressedSize) const {
    if (!bytes_ || !layout()) return std::nullopt;
    const auto offset = layout_->dataOffset(index, compressedSize);
    if (!offset) return std::nullopt;
    return std::string_view(*bytes_).substr(*offset, compressedSize);
}

std::string ZipPackage::find(const std::string& partName) const {
    auto it = byLowerName_.find(toLower(partName));
    return it == byLowerName_.end() ? std::string() : names_[it->second];
}

std::optional<std::uint64_t> ZipPackage::indexOf(const std::string& partName) const {
    auto it = byLowerName_.find(toLower(partName));
    return it == byLowerName_.end() ? std::nullopt : std::optional<std::uint64_t>(it->second);
}

bool ZipPackage::holdsForAnyReader(const std::string& partName) const {
    std::string folded = toLower(partName);
    std::replace(folded.begin(), folded.end(), '\\', '/');
    return byLowerName_.count(folded) > 0 || backslashed_.count(folded) > 0;
}

bool ZipPackage::hasPrefix(const std::string& prefix) const {
    const std::string lower = toLower(prefix);
    auto it = byLowerName_.lower_bound(lower);
    return it != byLowerName_.end() && it->first.compare(0, lower.size(), lower) == 0;
}

std::optional<std::string> ZipPackage::readWhole(std::uint64_t index, const zip_stat_t& st) const {
    constexpr zip_uint64_t kNeeded = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC;
    if ((st.valid & kNeeded) != kNeeded ||
        (st.comp_method != ZIP_CM_DEFLATE && st.comp_method != ZIP_CM_STORE) ||
        ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE))
        return std::nullopt;
    // Sizes that a streaming read would refuse part-way are left to it, for the same message.
    const std::uint64_t compressed = std::max<std::uint64_t>(st.comp_size, 1);
    if (st.size > limits_.maxXmlPartBytes ||
        (st.size > kRatioCheckFloor && st.size / compressed > limits_.maxCompressionRatio) ||
        (st.comp_method == ZIP_CM_STORE && st.comp_size != st.size) || st.comp_size > fileSize_)
        return std::nullopt;
    std::optional<std::string> read;
    std::string_view stored;
    if (const auto inMemory = storedBytes(index, st.comp_size)) {
        stored = *inMemory;
    } else if (const auto range = storedRange(index, st.comp_size)) {
        read = readFile(range->offset, st.comp_size);
        if (!read) return std::nullopt;
        stored = *read;
    } else {
        return std::nullopt;
    }
    std::string out;
    if (st.comp_method == ZIP_CM_STORE) {
        out = std::string(stored);
    } else {
        struct Free {
            void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
        };
        static thread_local std::unique_ptr<libdeflate_decompressor, Free> decompressor(
            libdeflate_alloc_decompressor());
        if (!decompressor) return std::nullopt;
        out = zeroed(st.size);
        // Without an actual-size out parameter, any stream that does not fill out exactly is an error.
        if (libdeflate_deflate_decompress(decompressor.get(), stored.data(), stored.size(), out.data(),
                                          out.size(), nullptr) != LIBDEFLATE_SUCCESS)
            return std::nullopt;
    }
    if (libdeflate_crc32(0, out.data(), out.size()) != st.crc) return std::nullopt;
    return out;
}

void ZipPackage::checkBudget(const std::string& partName, std::uint64_t size) const {
    if (size > limits_.maxXmlBytesPerDeck - std::min(bytesRead_, limits_.maxXmlBytesPerDeck))
        fail(ErrorCode::LimitExceeded, label_, partName,
             "the presentation's XML parts add up to more than the limit (" +
                 (limits_.maxXmlBytesPerDeck >> 20 > 0
                      ? std::to_string(limits_.maxXmlBytesPerDeck >> 20) + " MB"
                      : std::to_string(limits_.maxXmlBytesPerDeck) + " bytes") +
                 ", each part counting at least " + std::to_string(kCostPerPart / 1024) + " KB)");
}

void ZipPackage::chargeCreated(const std::string& partName, std::uint64_t size) const {
    checkBudget(partName, size + kCostPerPart);
    bytesRead_ += size + kCostPerPart;
}

std::string ZipPackage::read(const std::string& partName) const {
    auto it = byLowerName_.find(toLower(partName));
    if (it == byLowerName_.end()) fail(ErrorCode::DamagedPackage, label_, partName, "the part is missing");
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(zip_, it->second, 0, &st) != 0)
        fail(ErrorCode::DamagedPackage, label_, partName, "the zip entry cannot be read");
    // The declared size may lie; it only lets an honest oversized part fail before inflating.
    if ((st.valid & ZIP_STAT_SIZE) && st.size > limits_.maxXmlPartBytes)
        fail(ErrorCode::LimitExceeded, label_, partName, "the part is larger than the limit");
    // Every part read stays in memory, parsed, until the deck is saved: the parts of a deck share a
    // budget. An honest declared size fails before inflating.
    const auto counted = [&](std::string bytes) {
        checkBudget(partName, bytes.size() + kCostPerPart);
        bytesRead_ += bytes.size() + kCostPerPart;
        return bytes;
    };
    if (st.valid & ZIP_STAT_SIZE) checkBudget(partName, st.size + kCostPerPart);
    // Whole in one go where the file's layout is known and the sizes add up; anything odd, and every
    // failure, goes through libzip's streaming read below, which names what is wrong.
    if (auto whole = readWhole(it->second, st)) return counted(std::move(*whole));
    const std::uint64_t compressed =
        (st.valid & ZIP_STAT_COMP_SIZE) ? std::max<std::uint64_t>(st.comp_size, 1) : 1;
    zip_file_t* file = zip_fopen_index(zip_, it->second, 0);
    if (!file)
        fail(ErrorCode::DamagedPackage, label_, partName,
             "the zip entry cannot be opened (" + std::string(zip_strerror(zip_)) + ")");
    std::string out;
    char buffer[65536];
    for (;;) {
        const zip_int64_t n = zip_fread(file, buffer, sizeof buffer);
        if (n < 0) {
            const std::string why = zip_file_strerror(file);
            zip_fclose(file);
            fail(ErrorCode::DamagedPackage, label_, partName, "the zip entry is damaged (" + why + ")");
        }
        if (n == 0) break;
        out.append(buffer, static_cast<std::size_t>(n));
        if (out.size() > limits_.maxXmlPartBytes) {
            zip_fclose(file);
            fail(ErrorCode::LimitExceeded, label_, partName, "the part is larger than the limit");
        }
        if (out.size() > kRatioCheckFloor && out.size() / compressed > limits_.maxCompressionRatio) {
            zip_fclose(file);
            fail(ErrorCode::LimitExceeded, label_, partName,
                 "the part is compressed suspiciously well (zip bomb)");
        }
    }
    if (zip_fclose(file) != 0) fail(ErrorCode::DamagedPackage, label_, partName, "the zip entry is damaged");
    return counted(std::move(out));
}

ZipPackage::EntryInfo ZipPackage::entryInfo(std::uint64_t index) const {
    const std::string& name = names_.at(index);
    zip_stat_t st;
    zip_stat_init(&st);
    constexpr zip_uint64_t kNeeded = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC;
    if (zip_stat_index(zip_, index, 0, &st) != 0 || (st.valid & kNeeded) != kNeeded)
        fail(ErrorCode::DamagedPackage, label_, name, "the zip entry cannot be read");
    if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE)
        fail(ErrorCode::DamagedPackage, label_, name, "the zip entry is encrypted");
    EntryInfo info;
    info.method = st.comp_method;
    info.crc = st.crc;
    info.compressedSize = st.comp_size;
    info.size = st.size;
    info.mtime = (st.valid & ZIP_STAT_MTIME) ? st.mtime : 0;
    return info;
}

void ZipPackage::readCompressed(std::uint64_t index,
                                const std::function<void(std::string_view)>& sink) const {
    const std::string& name = names_.at(index);
    zip_file_t* file = zip_fopen_index(zip_, index, ZIP_FL_COMPRESSED);
    if (!file)
        fail(ErrorCode::DamagedPackage, label_, name,
             "the zip entry cannot be opened (" + std::string(zip_strerror(zip_)) + ")");
    std::unique_ptr<char[]> buffer(new char[1u << 20]);
    for (;;) {
        const zip_int64_t n = zip_fread(file, buffer.get(), 1u << 20);
        if (n < 0) {
            const std::string why = zip_file_strerror(file);
            zip_fclose(file);
            fail(ErrorCode::DamagedPackage, label_, name, "the zip entry is damaged (" + why + ")");
        }
        if (n == 0) break;
        try {
            sink(std::string_view(buffer.get(), static_cast<std::size_t>(n)));
        } catch (...) {
            zip_fclose(file);
            throw;
        }
    }
    zip_fclose(file);
}

std::string zip_strerror_code(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    return text;
}

}  // namespace trelwick::engine
