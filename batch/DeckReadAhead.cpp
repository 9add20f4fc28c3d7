#include "DeckReadAhead.h"

#include <utility>

namespace trelwick {

DeckReadAhead::~DeckReadAhead() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void DeckReadAhead::start(const QString& path) {
    discard();
    if (!thread_.joinable()) thread_ = std::thread([this] { loop(); });
    {
        std::lock_guard lock(mutex_);
        asked_ = std::filesystem::path(path.toStdU16String());
    }
    changed_.notify_all();
    path_ = path;
    started_ = true;
}

std::optional<engine::Presentation> DeckReadAhead::take(const QString& path) {
    if (!started_) return std::nullopt;
    wait();
    started_ = false;
    std::optional<engine::Presentation> deck;
    {
        std::lock_guard lock(mutex_);
        deck = std::exchange(read_, std::nullopt);
    }
    if (path != path_ || !deck || !deck->sourceUnchanged()) return std::nullopt;
    return deck;
}

void DeckReadAhead::wait() {
    if (!started_) return;
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !asked_ && !reading_; });
}

void DeckReadAhead::discard() {
    if (!started_) return;
    wait();
    started_ = false;
    std::optional<engine::Presentation> dropped;  // freed outside the lock
    std::lock_guard lock(mutex_);
    dropped = std::exchange(read_, std::nullopt);
}

void DeckReadAhead::loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return asked_ || closing_; });
        if (!asked_) return;
        const std::filesystem::path file = std::move(*asked_);
        asked_.reset();
        reading_ = true;
        lock.unlock();
        std::optional<engine::Presentation> deck = read(file);
        lock.lock();
        read_ = std::move(deck);
        reading_ = false;
        changed_.notify_all();
    }
}

std::optional<engine::Presentation> DeckReadAhead::read(const std::filesystem::path& file) const {
    try {
        if (std::filesystem::file_size(file) > largest_) return std::nullopt;
        engine::Presentation deck = engine::Presentation::open(file);
        deck.preload();
        return deck;
    } catch (...) {
        return std::nullopt;  // opened again in its turn, which reports the failure
    }
}

}  // namespace trelwick
