#include "FolderSyncer.h"

#include <trelwick/engine.h>

#include <utility>

namespace trelwick::cli {

FolderSyncer::FolderSyncer(Clock::duration interval, Sync sync, std::function<Clock::time_point()> now)
    : interval_(interval),
      sync_(sync ? std::move(sync) : Sync([](const std::filesystem::path& f) { engine::syncFolder(f); })),
      now_(std::move(now)),
      last_(now_()) {}

FolderSyncer::~FolderSyncer() {
    try {
        syncAll();
    } catch (...) {
        // Syncing a folder reports nothing; only running out of memory could get here.
    }
}

void FolderSyncer::saved(const std::filesystem::path& folder) {
    std::lock_guard lock(mutex_);
    pending_.insert(folder.empty() ? std::filesystem::path(".") : folder);
    if (now_() - last_ >= interval_) syncLocked();
}

void FolderSyncer::syncAll() {
    std::lock_guard lock(mutex_);
    syncLocked();
}

// Under the lock: a lane that notes a folder meanwhile waits, so no name is left out of a sync that
// the batch's end relies on.
void FolderSyncer::syncLocked() {
    for (const std::filesystem::path& folder : pending_) sync_(folder);
    pending_.clear();
    last_ = now_();
}

}  // namespace trelwick::cli
