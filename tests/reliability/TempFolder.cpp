#include "TempFolder.h"

#include <stdlib.h>

#include <stdexcept>
#include <string>

namespace trelwick::reliability {

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "trelwick-reliability-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ec;
    // Tests take read permission away; the removal needs it back.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

}  // namespace trelwick::reliability
