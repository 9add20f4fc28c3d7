#include "PackageWriter.h"

#include "ZipOutput.h"

namespace trelwick::engine {

void PackageWriter::write(const Deck& deck, int fd, const std::string& errorLabel) {
    ZipOutput out(fd, errorLabel);
    const ZipPackage& zip = deck.zip();
    const auto& parts = deck.parsedParts();
    for (std::uint64_t i = 0; i < zip.entryCount(); ++i) {
        const std::string& name = zip.entryName(i);
        auto it = parts.find(name);
        if (it != parts.end() && it->second->dirty()) {
            std::string printed;
            out.addDeflated(name, it->second->serialized(printed), zip.entryInfo(i).mtime);
            continue;
        }
        out.copyEntry(zip, i);
    }
    for (const std::string& name : deck.newParts()) {
        if (auto copy = deck.copiedNewParts().find(name); copy != deck.copiedNewParts().end()) {
            out.copyEntry(zip, *zip.indexOf(copy->second), name, 0);
        } else {
            std::string printed;
            out.addDeflated(name, parts.at(name)->serialized(printed), 0);
        }
    }
    zip.refuseIfFileChanged();
    out.finish();
}

}  // namespace trelwick::engine
