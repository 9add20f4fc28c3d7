#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace trelwick::reliability {

// Writes a zip file byte by byte, so that tests can build what no zip library would: duplicate names,
// sizes that lie, parts of a gigabyte streamed from a few kilobytes of memory.
class ZipWriter {
  public:
    // Creates (truncates) file. Throws std::runtime_error when it cannot.
    explicit ZipWriter(const std::filesystem::path& file);

    // Adds an entry stored without compression.
    void addStored(const std::string& name, std::string_view data);
    // Adds a deflated entry; its headers' checksum is the true one xor crcMask.
    void addDeflated(const std::string& name, std::string_view data, std::uint32_t crcMask = 0);
    // Adds a deflated entry of size zero bytes without holding them in memory; the headers claim
    // declaredSize (the true size when 0).
    void addDeflatedZeros(const std::string& name, std::uint64_t size, std::uint32_t declaredSize = 0);
    // Writes the central directory and closes the file.
    void finish();

  private:
    struct Entry {
        std::string name;
        std::uint16_t method;
        std::uint32_t crc, compressedSize, size, offset;
    };
    void add(const Entry& entry, const std::vector<std::string_view>& chunks, std::uint64_t repeat);
    std::ofstream out_;
    std::vector<Entry> entries_;
};

}  // namespace trelwick::reliability
