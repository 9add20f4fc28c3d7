#include "common/TempDir.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "common/Files.h"

namespace fs = std::filesystem;

namespace trelwick::testing {

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "trelwick-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder " + pattern + ": " + std::strerror(errno));
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests take permissions away; the removal needs them back, on the folder itself too.
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        if (!it->is_symlink()) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

fs::path TempDir::write(const fs::path& relative, const std::string& content) const {
    const fs::path file = path_ / relative;
    fs::create_directories(file.parent_path());
    writeFile(file, content);
    return file;
}

std::vector<std::string> TempDir::names() const {
    // A folder the test relies on that has gone is a failure, not an empty listing.
    if (!fs::is_directory(path_))
        throw std::runtime_error("the temporary folder " + path_.string() + " is gone");
    return folderNames(path_);
}

}  // namespace trelwick::testing
