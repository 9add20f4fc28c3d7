#include "DeckReadAhead.h"

#include <filesystem>
#include <utility>

namespace trelwick {

DeckReadAhead::~DeckReadAhead() { discard(); }

void DeckReadAhead::start(const QString& path) {
    discard();
    path_ = path;
    std::filesystem::path file(path.toStdU16String());
    deck_ = std::async(std::launch::async, [file = std::move(file), largest = largest_]() -> std::optional<engine::Presentation> {
        try {
            if (std::filesystem::file_size(file) > largest) return std::nullopt;
            engine::Presentation deck = engine::Presentation::open(file);
            deck.preload();
            return deck;
        } catch (...) {
            return std::nullopt;  // opened again in its turn, which reports the failure
        }
    });
}

std::optional<engine::Presentation> DeckReadAhead::take(const QString& path) {
    if (!deck_.valid()) return std::nullopt;
    std::optional<engine::Presentation> deck = deck_.get();
    if (path != path_ || !deck || !deck->sourceUnchanged()) return std::nullopt;
    return deck;
}

void DeckReadAhead::wait() const {
    if (deck_.valid()) deck_.wait();
}

void DeckReadAhead::discard() {
    if (deck_.valid()) deck_.get();
}

}  // namespace trelwick
