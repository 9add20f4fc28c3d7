#pragma once

#include <string>

#include "trelwick/engine.h"

namespace trelwick::engine {

// Throws an Error naming the file and, when given, the part: "<file> (part <part>): <what>"
[[noreturn]] inline void fail(ErrorCode code, const std::string& file, const std::string& part,
                              const std::string& what) {
    throw Error(code, file, part, what);
}

// The same for a file whose structure is broken, saying so first: what is wrong is told in the terms
// of the format, which few users know.
[[noreturn]] inline void failDamaged(const std::string& file, const std::string& part,
                                     const std::string& what) {
    fail(ErrorCode::DamagedPackage, file, part, "the file is damaged: " + what);
}

}  // namespace trelwick::engine
