#include "OleProbe.h"

#include "Bytes.h"
#include "cfb/CompoundFile.h"
#include "cfb/CompoundFormat.h"

namespace trelwick::engine {

bool OleProbe::hasMagic(const std::string& firstBytes) {
    return firstBytes.size() >= cfb::kSignature.size() &&
           firstBytes.compare(0, cfb::kSignature.size(), cfb::kSignature) == 0;
}

OleContent OleProbe::inspect(std::uint64_t fileSize,
                             const std::function<std::string(std::uint64_t, std::size_t)>& read) {
    if (fileSize > CompoundFile::kMaxBytes) return OleContent::Other;
    try {
        const CompoundFile file = CompoundFile::parse(read(0, static_cast<std::size_t>(fileSize)), "");
        bool powerPoint = false;
        for (const auto& paths : {file.streamPaths(), file.storagePaths()}) {
            for (const std::string& path : paths) {
                const std::string name = path.substr(path.rfind('/') + 1);
                if (equalsIgnoringCase(name, "EncryptedPackage")) return OleContent::Encrypted;
                for (const char* legacy : {"PowerPoint Document", "PP40", "Current User"})
                    powerPoint = powerPoint || equalsIgnoringCase(name, legacy);
            }
        }
        return powerPoint ? OleContent::LegacyPowerPoint : OleContent::Other;
    } catch (const std::exception&) {
        return OleContent::Other;  // unreadable: the caller reports the file as no presentation
    }
}

}  // namespace trelwick::engine
