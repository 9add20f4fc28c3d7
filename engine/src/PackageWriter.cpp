#include "PackageWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "Failure.h"
#include "ZipOutput.h"

namespace trelwick::engine {

namespace {

// Closes the descriptor however the write ends.
struct OpenFile {
    int fd;
    ~OpenFile() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

void PackageWriter::write(const Deck& deck, const std::filesystem::path& file, const std::string& errorLabel) {
    // No O_TRUNC on the fresh, empty file: on ext4 a truncated file starts writing back when it is
    // closed, which the fsync of the commit would do anyway, in one go.
    const OpenFile output{::open(file.c_str(), O_WRONLY | O_CLOEXEC)};
    struct stat st {};
    if (output.fd < 0 || ::fstat(output.fd, &st) != 0 || (st.st_size != 0 && ::ftruncate(output.fd, 0) != 0))
        fail(ErrorCode::WriteFailed, errorLabel, "",
             std::string("cannot open the temporary file (") + std::strerror(errno) + ")");
    ZipOutput out(output.fd, errorLabel);
    const ZipPackage& zip = deck.zip();
    const auto& parts = deck.parsedParts();
    for (std::uint64_t i = 0; i < zip.entryCount(); ++i) {
        const std::string& name = zip.entryName(i);
        auto it = parts.find(name);
        if (it != parts.end() && it->second->dirty()) {
            out.addDeflated(name, it->second->serialize(), zip.entryInfo(i).mtime);
            continue;
        }
        out.copyEntry(zip, i);
    }
    for (const std::string& name : deck.newParts()) {
        if (auto raw = deck.rawNewParts().find(name); raw != deck.rawNewParts().end()) {
            out.addDeflated(name, raw->second, 0);
        } else {
            out.addDeflated(name, parts.at(name)->serialize(), 0);
        }
    }
    out.finish();
}

}  // namespace trelwick::engine
