#pragma once

#include <filesystem>

namespace trelwick::testing {

// The shared corpus of real decks, TRELWICK_SHARED_DIR/corpus/dev; machines without it skip the tests
// that need it.
const std::filesystem::path& corpusDir();

}  // namespace trelwick::testing

// Skips the running test, saying where the corpus was looked for, when folder is not there.
#define TRELWICK_SKIP_WITHOUT_CORPUS(folder)                                                             \
    do {                                                                                                 \
        if (!std::filesystem::is_directory(folder))                                                      \
            GTEST_SKIP() << "no corpus at " << (folder)                                                  \
                         << " (TRELWICK_SHARED_DIR names the folder holding corpus/); nothing to check"; \
    } while (0)
