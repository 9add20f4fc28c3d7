#include "BackgroundSaves.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <utility>

#include "EngineCall.h"

namespace trelwick {

namespace {

// A failure of the engine as the program reports it.
std::exception_ptr reported(const std::exception_ptr& failure) {
    try {
        callEngine([&] { std::rethrow_exception(failure); });
    } catch (...) {
        return std::current_exception();
    }
    return failure;
}

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

BackgroundSaves::BackgroundSaves(PutInPlace putInPlace, std::size_t depth, std::size_t unwrittenDepth)
    : putInPlace_(std::move(putInPlace)),
      depth_(std::max<std::size_t>(1, depth)),
      unwrittenDepth_(std::max<std::size_t>(1, unwrittenDepth)),
      thread_([this] { loop(); }) {}

BackgroundSaves::~BackgroundSaves() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void BackgroundSaves::hand(engine::PendingSave save) {
    const bool unwritten = !save.written();
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return inHand_ < depth_ && (!unwritten || unwritten_ < unwrittenDepth_); });
    waiting_.push_back(std::move(save));
    ++inHand_;
    if (unwritten) ++unwritten_;
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

std::vector<std::filesystem::path> BackgroundSaves::takeFailedTargets() {
    std::lock_guard lock(mutex_);
    return std::exchange(failedTargets_, {});
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
        std::size_t unwritten = 0;  // of the batch, still counted in unwritten_
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return !waiting_.empty() || closing_; });
            if (waiting_.empty()) return;
            batch.swap(waiting_);
            settling_.clear();
            for (const engine::PendingSave& save : batch) {
                settling_.push_back(save.target());
                if (!save.written()) ++unwritten;
            }
        }
        std::vector<std::exception_ptr> failed;
        std::vector<std::filesystem::path> failedTargets;
        try {
            failed = settle(batch, unwritten, failedTargets);
        } catch (...) {
            // Memory ran out: reported once for the batch; its saves not put in place leave nothing.
            failed.assign(1, std::current_exception());
        }
        {
            std::lock_guard lock(mutex_);
            unwritten_ -= unwritten;
            failures_.insert(failures_.end(), failed.begin(), failed.end());
            failedTargets_.insert(failedTargets_.end(), failedTargets.begin(), failedTargets.end());
            settling_.clear();
            inHand_ -= batch.size();
        }
        changed_.notify_all();
    }
}

std::vector<std::exception_ptr> BackgroundSaves::settle(std::deque<engine::PendingSave>& batch,
                                                       std::size_t& unwritten,
                                                       std::vector<std::filesystem::path>& failedTargets) {
    std::vector<std::exception_ptr> failures(batch.size());
    std::vector<engine::PendingSave*> written;
    std::vector<std::size_t> positions;
    for (std::size_t i = 0; i < batch.size(); ++i) {
        if (!batch[i].written()) {
            try {
                batch[i].write();
            } catch (...) {
                failures[i] = reported(std::current_exception());
            }
            {
                std::lock_guard lock(mutex_);
                --unwritten_;  // its deck is gone from memory: the run may hand over its next
                --unwritten;
            }
            changed_.notify_all();
        }
        if (batch[i].written()) {
            written.push_back(&batch[i]);
            positions.push_back(i);
        }
    }
    std::exception_ptr whole;
    try {
        std::vector<engine::PendingSave::Committed> committed = putInPlace_(written);
        for (std::size_t k = 0; k < committed.size() && k < positions.size(); ++k)
            if (committed[k].failure) failures[positions[k]] = reported(committed[k].failure);
    } catch (...) {
        // Reported once for the batch; those of its saves not put in place leave nothing behind.
        whole = std::current_exception();
    }
    std::vector<std::exception_ptr> failed;
    for (std::size_t i = 0; i < failures.size(); ++i) {
        if (!failures[i]) continue;
        failed.push_back(failures[i]);
        failedTargets.push_back(batch[i].target());
    }
    if (whole) failed.push_back(whole);
    return failed;
}

}  // namespace trelwick
