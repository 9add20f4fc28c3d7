#pragma once

#include <QString>
#include <new>
#include <stdexcept>

#include "trelwick/engine.h"
#include "util/AppError.h"

namespace trelwick {

// Runs an engine call and turns its failures into AppError, the program's failure type.
template <typename Call>
auto callEngine(Call&& call) -> decltype(call()) {
    try {
        return call();
    } catch (const engine::Error& e) {
        throw AppError(kEngineFailure, QString::fromStdString(e.what()));
    } catch (const std::invalid_argument& e) {
        throw AppError(kInvalidCall, QString::fromStdString(e.what()));
    } catch (const std::bad_alloc&) {
        // A deck too large (or hostile) for the memory at hand: reported for that file, the run goes on.
        throw AppError(kOutOfMemory, QStringLiteral("Out of memory"));
    }
}

}  // namespace trelwick
