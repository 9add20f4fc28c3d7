#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <set>

namespace trelwick::cli {

// Syncs the output folders of a batch's saves (their new names) together rather than once a deck: at
// most once an interval while the batch runs, and at its end, before the batch says it is done. A crash
// in between can lose the names of the decks saved since the last sync (each is then missing, or its
// old file is still there), never leave a damaged file. Thread-safe: the lanes of all jobs share one.
class FolderSyncer {
  public:
    using Clock = std::chrono::steady_clock;
    using Sync = std::function<void(const std::filesystem::path&)>;

    explicit FolderSyncer(Clock::duration interval = std::chrono::seconds(1), Sync sync = {},
                          std::function<Clock::time_point()> now = Clock::now);
    ~FolderSyncer();  // syncs what is left
    FolderSyncer(const FolderSyncer&) = delete;
    FolderSyncer& operator=(const FolderSyncer&) = delete;

    // Notes a folder that received a deck, and syncs every noted folder once the interval has passed
    // since the last sync.
    void saved(const std::filesystem::path& folder);
    // Syncs every folder noted since the last sync.
    void syncAll();

  private:
    void syncLocked();

    const Clock::duration interval_;
    const Sync sync_;
    const std::function<Clock::time_point()> now_;
    std::mutex mutex_;
    std::set<std::filesystem::path> pending_;
    Clock::time_point last_;
};

}  // namespace trelwick::cli
