#include "common/Corpus.h"

namespace trelwick::testing {

const std::filesystem::path& corpusDir() {
    static const std::filesystem::path dir = std::filesystem::path(TRELWICK_SHARED_DIR) / "corpus" / "dev";
    return dir;
}

}  // namespace trelwick::testing
