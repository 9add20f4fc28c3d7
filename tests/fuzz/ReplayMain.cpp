// Runs the fuzz target's function over files and folders (walked recursively), so that any compiler
// can replay the seed corpus and the regression fixtures without libFuzzer.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "StampOneInput.h"

namespace {

std::vector<std::filesystem::path> inputsUnder(const std::filesystem::path& root) {
    std::vector<std::filesystem::path> out;
    if (std::filesystem::is_regular_file(root)) return {root};
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        if (entry.is_regular_file() && entry.path().filename().string().front() != '.' &&
            entry.path().extension() != ".md" && entry.path().extension() != ".tsv")
            out.push_back(entry.path());
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: trelwick_fuzz_replay FILE-OR-FOLDER...\n";
        return 2;
    }
    std::size_t count = 0;
    for (int i = 1; i < argc; ++i) {
        if (!std::filesystem::exists(argv[i])) {
            std::cerr << argv[i] << ": does not exist\n";
            return 2;
        }
        for (const auto& file : inputsUnder(argv[i])) {
            std::ifstream in(file, std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            std::cout << file.string() << " (" << bytes.size() << " bytes): " << std::flush;
            const std::string refusal = trelwick::fuzz::stampOneInput(
                reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
            std::cout << (refusal.empty() ? "stamped" : "refused: " + refusal) << std::endl;
            ++count;
        }
    }
    std::cout << count << " inputs replayed\n";
    return count > 0 ? 0 : 1;
}
