#pragma once

#include <QString>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

#include "trelwick/engine.h"

namespace trelwick {

// Opens and parses the next presentation of a run on another thread while the run stamps the current
// one. What was read ahead is used only when it is the file
// asked for, opened without failure and still the same version on disk; anything else is opened again
// when its turn comes, so that every failure is reported where and when it would be without this.
// One thread reads every deck of a run: starting a thread a deck cost more than reading a small one.
class DeckReadAhead {
  public:
    // Files larger than largest are left to be opened in their turn: a legacy .ppt is read whole, and
    // two of those in memory at once could be too many.
    explicit DeckReadAhead(std::uint64_t largest = 64u << 20) : largest_(largest) {}
    DeckReadAhead(const DeckReadAhead&) = delete;
    DeckReadAhead& operator=(const DeckReadAhead&) = delete;
    ~DeckReadAhead();

    // Starts reading path, dropping what was read ahead before. Throws when the thread cannot be had.
    void start(const QString& path);
    // The deck read ahead for path when it can stand for opening path now; nothing otherwise. Waits
    // for the reading to end; whatever was read ahead is gone afterwards.
    std::optional<engine::Presentation> take(const QString& path);
    // Drops what was read ahead (waiting for the reading to end).
    void discard();
    // Waits for the reading started last to end; what it read stays for take.
    void wait();

  private:
    void loop();
    std::optional<engine::Presentation> read(const std::filesystem::path& file) const;

    const std::uint64_t largest_;
    QString path_;          // what was started last; the caller's thread only
    bool started_ = false;  // the same
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<std::filesystem::path> asked_;  // to be read next
    bool reading_ = false;
    std::optional<engine::Presentation> read_;
    bool closing_ = false;
    std::thread thread_;  // started with the first deck
};

}  // namespace trelwick
