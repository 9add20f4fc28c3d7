#include "DeckFinder.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <string>
#include <system_error>

#include "StopSignals.h"
#include "trelwick/engine.h"

namespace fs = std::filesystem;

namespace trelwick::cli {

namespace {

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The same file under the same name however it is reached (a link to its folder, "..", another
// spelling), from one stat: resolving the path instead looked up each of its folders again, for every
// deck. A link under another name is an input of its own and keeps its output.
std::string identity(const fs::path& file) {
    std::error_code ec;
#ifndef _WIN32  // Windows' stat gives no file number
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0)
        return "inode " + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + " " +
               file.filename().string();
#else
    if (fs::path canonical = fs::weakly_canonical(fs::absolute(file, ec), ec); !ec) return canonical.string();
#endif
    return "path " + fs::absolute(file, ec).lexically_normal().string();
}

bool sameFolder(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec);
}

}  // namespace

DeckFinder::DeckFinder(fs::path outputFolder) : outputFolder_(std::move(outputFolder)) {}

bool DeckFinder::isPresentationName(const fs::path& file) {
    static const std::array<std::string, 9> kExtensions{".pptx", ".pptm", ".potx", ".potm", ".ppsx",
                                                        ".ppsm", ".ppt",  ".pot",  ".pps"};
    const std::string ext = lowered(file.extension().string());
    return std::find(kExtensions.begin(), kExtensions.end(), ext) != kExtensions.end();
}

bool DeckFinder::isSkippedName(const fs::path& file) {
    const std::string name = file.filename().string();
    return !name.empty() && (name[0] == '~' || name[0] == '.');
}

DeckList DeckFinder::find(const std::vector<fs::path>& inputs) const {
    DeckList list;
    std::set<std::string> seenFiles;
    std::vector<fs::path> files;  // each file once, in the order found
    auto add = [&](const fs::path& file) {
        if (seenFiles.insert(identity(file)).second) files.push_back(file);
    };

    // A stop asked for while a large tree is walked ends the walk too.
    for (const fs::path& input : inputs) {
        if (stopSignal() != 0) break;
        std::error_code ec;
        const fs::file_status status = fs::status(input, ec);
        if (status.type() == fs::file_type::none) {
            // A folder on the way that may not be searched: whether it exists is unknown.
            list.refused.push_back({input, "cannot be reached (" + ec.message() + ")"});
            continue;
        }
        if (!fs::exists(status)) {
            // A link to nowhere is listed by ls; "no such file" would send the user looking for it.
            std::error_code linkEc;
            const fs::path target = fs::read_symlink(input, linkEc);
            list.refused.push_back(
                {input, linkEc ? "no such file or folder"
                               : "it is a link to " + target.string() + ", which does not exist"});
            continue;
        }
        if (!fs::is_directory(status)) {
            add(input);
            continue;
        }

        std::vector<fs::path> found;
        fs::recursive_directory_iterator it(input, ec), end;
        if (ec) {
            list.refused.push_back({input, "cannot read the folder: " + ec.message(), true});
            continue;
        }
        while (it != end && stopSignal() == 0) {
            // A copy: an increment that fails frees the entry, and the failure names this path.
            const fs::path path = it->path();
            std::error_code entryEc;
            const bool isDir = it->is_directory(entryEc);
            if (isSkippedName(path)) {
                if (isDir) it.disable_recursion_pending();
            } else if (isDir && it->is_symlink(entryEc)) {
                // Not followed, so not read either: a folder it points to that cannot be read hides
                // nothing of this walk.
            } else if (isDir) {
                std::error_code openEc;
                fs::directory_iterator probe(path, openEc);
                // Stamped copies from an earlier run would otherwise come back as inputs.
                if (sameFolder(path, outputFolder_)) {
                    it.disable_recursion_pending();
                } else if (openEc) {
                    list.refused.push_back({path, "cannot read the folder: " + openEc.message(), true});
                    it.disable_recursion_pending();
                }
            } else if (isPresentationName(path) && it->is_regular_file(entryEc)) {
                found.push_back(path);
            }
            it.increment(ec);
            if (ec) {
                list.refused.push_back({path, "cannot read the folder: " + ec.message(), true});
                break;
            }
        }
        std::sort(found.begin(), found.end());
        for (const fs::path& file : found) add(file);
    }
    nameOutputs(files, list);
    return list;
}

void DeckFinder::nameOutputs(const std::vector<fs::path>& files, DeckList& list) const {
    // Names differing only in case are one name where the output folder's file system says so (as on
    // Windows and macOS), else two: asked only when two inputs' names differ so.
    bool caseApart = false;
    std::map<std::string, std::string> spelled;
    for (const fs::path& file : files) {
        const std::string name = file.filename().string();
        const auto [it, added] = spelled.emplace(engine::foldedCase(name), name);
        if (!added && it->second != name) {
            caseApart = engine::keepsCaseApart(outputFolder_);
            break;
        }
    }
    auto key = [&](const fs::path& file) {
        return caseApart ? file.filename().string() : engine::foldedCase(file.filename().string());
    };
    std::map<std::string, const fs::path*> owners;
    // A deck already in the output folder is replaced by its own stamped copy, so it keeps its name
    // whatever comes first: another input of that name would be saved over it before its turn. Each
    // folder is asked once: most inputs share a few.
    std::map<fs::path, bool> isOutputFolder;
    for (const fs::path& file : files) {
        const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
        auto [it, added] = isOutputFolder.emplace(folder, false);
        if (added) it->second = sameFolder(folder, outputFolder_);
        if (it->second) owners.emplace(key(file), &file);
    }
    for (const fs::path& file : files) {
        const fs::path* owner = owners.emplace(key(file), &file).first->second;
        if (owner == &file) {
            list.decks.push_back({file, outputFolder_ / file.filename()});
        } else {
            const bool sameSpelling = owner->filename() == file.filename();
            list.refused.push_back(
                {file, std::string(sameSpelling ? "another input of that name, "
                                                : "another input of the same name apart from case, ") +
                           owner->string() + ", is saved as " + (outputFolder_ / owner->filename()).string() +
                           "; this one is not stamped"});
        }
    }
}

}  // namespace trelwick::cli
