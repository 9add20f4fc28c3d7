#pragma once

#include <QString>
#include <cstdint>
#include <future>
#include <optional>

#include "trelwick/engine.h"

namespace trelwick {

// Opens and parses the next presentation of a run on another thread while the run stamps the current
// one. What was read ahead is used only when it is the file
// asked for, opened without failure and still the same version on disk; anything else is opened again
// when its turn comes, so that every failure is reported where and when it would be without this.
class DeckReadAhead {
public:
    // Files larger than largest are left to be opened in their turn: a legacy .ppt is read whole, and
    // two of those in memory at once could be too many.
    explicit DeckReadAhead(std::uint64_t largest = 64u << 20) : largest_(largest) {}
    DeckReadAhead(const DeckReadAhead&) = delete;
    DeckReadAhead& operator=(const DeckReadAhead&) = delete;
    ~DeckReadAhead();

    // Starts reading path, dropping what was read ahead before.
    void start(const QString& path);
    // The deck read ahead for path when it can stand for opening path now; nothing otherwise. Waits
    // for the reading to end; whatever was read ahead is gone afterwards.
    std::optional<engine::Presentation> take(const QString& path);
    // Drops what was read ahead (waiting for the reading to end).
    void discard();
    // Waits for the reading started last to end; what it read stays for take.
    void wait() const;

private:
    std::uint64_t largest_;
    QString path_;
    std::future<std::optional<engine::Presentation>> deck_;
};

}  // namespace trelwick
