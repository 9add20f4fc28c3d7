#include "BackgroundSaves.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <utility>

#include "EngineCall.h"

namespace trelwick {

namespace {

using FileId = std::pair<std::uint64_t, std::uint64_t>;

// The file a path names now, by device and number; none when it names nothing, or where files have
// no numbers (then every path is taken as one a save may be).
std::optional<FileId> fileId(const std::filesystem::path& path) {
#ifdef _WIN32
    (void)path;
    return std::nullopt;
#else
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
#endif
}

}  // namespace

std::vector<engine::PendingSave::Committed> BackgroundSaves::commitLeavingFolders(
    const std::vector<engine::PendingSave*>& saves) {
    return engine::PendingSave::commitAll(saves, engine::FolderSync::Later);
}

BackgroundSaves::BackgroundSaves(PutInPlace putInPlace, std::size_t depth)
    : putInPlace_(std::move(putInPlace)), depth_(std::max<std::size_t>(1, depth)), thread_([this] { loop(); }) {}

BackgroundSaves::~BackgroundSaves() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void BackgroundSaves::hand(engine::PendingSave save) {
    std::unique_lock lock(mutex_);
    if (quick_ && inHand_ == 0) {
        // Waking the thread would cost more than a save that waits on nothing.
        lock.unlock();
        std::vector<engine::PendingSave*> one{&save};
        bool quick = false;
        std::vector<std::exception_ptr> failed = putInPlace(one, quick);
        lock.lock();
        failures_.insert(failures_.end(), failed.begin(), failed.end());
        quick_ = quick;
        return;
    }
    changed_.wait(lock, [&] { return inHand_ < depth_; });
    waiting_.push_back(std::move(save));
    ++inHand_;
    changed_.notify_all();
}

void BackgroundSaves::waitAll() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return inHand_ == 0; });
}

std::vector<std::exception_ptr> BackgroundSaves::takeFailures() {
    std::lock_guard lock(mutex_);
    return std::exchange(failures_, {});
}

bool BackgroundSaves::mayBeTargetOf(const QString& path) const {
    std::vector<std::filesystem::path> targets;
    {
        std::lock_guard lock(mutex_);
        targets = settling_;
        for (const engine::PendingSave& save : waiting_) targets.push_back(save.target());
    }
    if (targets.empty()) return false;
    try {
        // The targets are looked at now, not when handed over: an earlier save to the same name may
        // have replaced the file since.
        const std::optional<FileId> id = fileId(std::filesystem::path(path.toStdU16String()));
        return !id || std::any_of(targets.begin(), targets.end(),
                                  [&](const std::filesystem::path& target) { return fileId(target) == id; });
    } catch (...) {
        return true;  // a path that cannot even be looked at is waited for
    }
}

void BackgroundSaves::loop() {
    for (;;) {
        std::deque<engine::PendingSave> batch;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return !waiting_.empty() || closing_; });
            if (waiting_.empty()) return;
            batch.swap(waiting_);
            settling_.clear();
            for (const engine::PendingSave& save : batch) settling_.push_back(save.target());
        }
        std::vector<engine::PendingSave*> saves;
        for (engine::PendingSave& save : batch) saves.push_back(&save);
        bool quick = false;
        const std::vector<std::exception_ptr> failed = putInPlace(saves, quick);
        {
            std::lock_guard lock(mutex_);
            failures_.insert(failures_.end(), failed.begin(), failed.end());
            quick_ = quick;
            settling_.clear();
            inHand_ -= batch.size();
        }
        changed_.notify_all();
    }
}

std::vector<std::exception_ptr> BackgroundSaves::putInPlace(const std::vector<engine::PendingSave*>& saves,
                                                           bool& quick) {
    // A sync on a disk takes a few hundred microseconds at least; on a tmpfs the whole save takes tens.
    constexpr auto kQuick = std::chrono::microseconds(100);
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::exception_ptr> failed;
    try {
        for (engine::PendingSave::Committed& c : putInPlace_(saves)) {
            if (!c.failure) continue;
            try {
                callEngine([&] { std::rethrow_exception(c.failure); });
            } catch (...) {
                failed.push_back(std::current_exception());
            }
        }
    } catch (...) {
        // Reported once for the batch; those of its saves not put in place leave nothing behind.
        failed.assign(1, std::current_exception());
    }
    quick = std::chrono::steady_clock::now() - start < kQuick;
    return failed;
}

}  // namespace trelwick
