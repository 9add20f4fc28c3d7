#include "ZipWriter.h"

#include <zlib.h>

#include <stdexcept>

namespace trelwick::reliability {
namespace {

void put16(std::string& s, std::uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}

void put32(std::string& s, std::uint32_t v) {
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}

std::string rawDeflate(std::string_view data, int flush) {
    z_stream z{};
    if (deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::string out(deflateBound(&z, data.size()) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, flush);
    out.resize(out.size() - z.avail_out);
    deflateEnd(&z);
    return out;
}

}  // namespace

ZipWriter::ZipWriter(const std::filesystem::path& file) : out_(file, std::ios::binary | std::ios::trunc) {
    if (!out_) throw std::runtime_error("cannot create " + file.string());
}

void ZipWriter::add(const Entry& e, const std::vector<std::string_view>& chunks, std::uint64_t repeat) {
    std::string header;
    put32(header, 0x04034b50);
    put16(header, 20);
    put16(header, 0x0800);  // names in UTF-8
    put16(header, e.method);
    put16(header, 0);
    put16(header, 0x21);
    put32(header, e.crc);
    put32(header, e.compressedSize);
    put32(header, e.size);
    put16(header, static_cast<std::uint32_t>(e.name.size()));
    put16(header, 0);
    header += e.name;
    out_.write(header.data(), static_cast<std::streamsize>(header.size()));
    for (std::size_t i = 0; i < chunks.size(); ++i)
        for (std::uint64_t r = 0; r < (i == 1 ? repeat : 1); ++r)
            out_.write(chunks[i].data(), static_cast<std::streamsize>(chunks[i].size()));
    entries_.push_back(e);
}

void ZipWriter::addStored(const std::string& name, std::string_view data) {
    const auto crc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
    const auto size = static_cast<std::uint32_t>(data.size());
    add({name, 0, crc, size, size, static_cast<std::uint32_t>(out_.tellp())}, {data}, 1);
}

void ZipWriter::addDeflated(const std::string& name, std::string_view data, std::uint32_t crcMask) {
    const std::string packed = rawDeflate(data, Z_FINISH);
    const auto crc =
        crcMask ^ static_cast<std::uint32_t>(
                      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
    add({name, 8, crc, static_cast<std::uint32_t>(packed.size()), static_cast<std::uint32_t>(data.size()),
         static_cast<std::uint32_t>(out_.tellp())},
        {packed}, 1);
}

void ZipWriter::addDeflatedZeros(const std::string& name, std::uint64_t size, std::uint32_t declaredSize) {
    // One megabyte of zeros deflated and ended with a sync flush is a byte-aligned run of non-final
    // blocks starting with a literal, so repeating its bytes inflates to repeated megabytes; an empty
    // final block closes the stream.
    constexpr std::uint64_t kChunk = 1 << 20;
    if (size % kChunk != 0) throw std::invalid_argument("size must be whole megabytes");
    const std::string zeros(kChunk, '\0');
    const std::string block = rawDeflate(zeros, Z_SYNC_FLUSH);
    const std::string last = rawDeflate({}, Z_FINISH);
    const uLong chunkCrc =
        crc32(0, reinterpret_cast<const Bytef*>(zeros.data()), static_cast<uInt>(zeros.size()));
    uLong crc = 0;
    for (std::uint64_t i = 0; i < size / kChunk; ++i)
        crc = crc32_combine(crc, chunkCrc, static_cast<z_off_t>(kChunk));
    const std::uint64_t packed = block.size() * (size / kChunk) + last.size();
    add({name, 8, static_cast<std::uint32_t>(crc), static_cast<std::uint32_t>(packed),
         declaredSize ? declaredSize : static_cast<std::uint32_t>(size),
         static_cast<std::uint32_t>(out_.tellp())},
        {std::string_view(), block, last}, size / kChunk);
}

void ZipWriter::finish() {
    const auto start = static_cast<std::uint32_t>(out_.tellp());
    std::string directory;
    for (const Entry& e : entries_) {
        put32(directory, 0x02014b50);
        put16(directory, 20);
        put16(directory, 20);
        put16(directory, 0x0800);
        put16(directory, e.method);
        put16(directory, 0);
        put16(directory, 0x21);
        put32(directory, e.crc);
        put32(directory, e.compressedSize);
        put32(directory, e.size);
        put16(directory, static_cast<std::uint32_t>(e.name.size()));
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, 0);
        put32(directory, 0);
        put32(directory, e.offset);
        directory += e.name;
    }
    const auto directorySize = static_cast<std::uint32_t>(directory.size());
    put32(directory, 0x06054b50);
    put16(directory, 0);
    put16(directory, 0);
    put16(directory, static_cast<std::uint32_t>(entries_.size()));
    put16(directory, static_cast<std::uint32_t>(entries_.size()));
    put32(directory, directorySize);
    put32(directory, start);
    put16(directory, 0);
    out_.write(directory.data(), static_cast<std::streamsize>(directory.size()));
    out_.close();
    if (!out_) throw std::runtime_error("cannot write the zip file");
}

}  // namespace trelwick::reliability
