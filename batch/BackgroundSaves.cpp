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

BackgroundSaves::BackgroundSaves(PutInPlace putInPlace, std::size_t depth, std::size_t unwrittenDepth,
                                 Write write)
    : putInPlace_(std::move(putInPlace)),
      write_(write ? std::move(write) : Write([](engine::PendingSave& save) { save.write(); })),
      depth_(std::max<std::size_t>(1, depth)),
      unwrittenDepth_(std::max<std::size_t>(1, unwrittenDepth)) {
    writer_ = std::thread([this] { writeLoop(); });
    try {
        placer_ = std::thread([this] { placeLoop(); });
    } catch (...) {
        {
            std::lock_guard lock(mutex_);
            closing_ = true;
        }
        toWrite_.notify_all();
        writer_.join();
        throw;
    }
}

BackgroundSaves::~BackgroundSaves() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
    }
    toWrite_.notify_all();
    toPlace_.notify_all();
    writer_.join();
    placer_.join();
}

void BackgroundSaves::hand(engine::PendingSave save) {
    const bool unwritten = !save.written();
    std::unique_lock lock(mutex_);
    settled_.wait(lock,
                  [&] { return inHand_.size() < depth_ && (!unwritten || unwritten_ < unwrittenDepth_); });
    inHand_.push_back(InHand{std::move(save), nullptr});
    if (unwritten) ++unwritten_;
    toWrite_.notify_one();
}

void BackgroundSaves::waitAll() {
    std::unique_lock lock(mutex_);
    settled_.wait(lock, [&] { return inHand_.empty(); });
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
        // Only the target is read: the threads change nothing else of a save while it is in hand.
        for (const InHand& item : inHand_) targets.push_back(item.save.target());
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

void BackgroundSaves::writeLoop() {
    for (;;) {
        InHand* item = nullptr;
        {
            std::unique_lock lock(mutex_);
            toWrite_.wait(lock, [&] { return written_ < inHand_.size() || closing_; });
            if (written_ == inHand_.size()) {
                toPlace_.notify_one();  // the placer ends once all is placed
                return;
            }
            item = &inHand_[written_];
        }
        const bool unwritten = !item->save.written();
        if (unwritten) {
            try {
                write_(item->save);
            } catch (...) {
                item->failure = reported(std::current_exception());
            }
        }
        {
            std::lock_guard lock(mutex_);
            ++written_;
            if (unwritten) --unwritten_;  // its deck is gone from memory: the run may hand over its next
        }
        toPlace_.notify_one();
        if (unwritten) settled_.notify_all();
    }
}

void BackgroundSaves::placeLoop() {
    for (;;) {
        std::size_t count = 0;
        {
            std::unique_lock lock(mutex_);
            toPlace_.wait(lock, [&] { return written_ > 0 || (closing_ && inHand_.empty()); });
            if (written_ == 0) return;
            // Those written while the disk was waited for are put in place together.
            count = written_;
        }
        std::vector<std::exception_ptr> failed;
        std::vector<std::filesystem::path> failedTargets;
        try {
            failed = place(count, failedTargets);
        } catch (...) {
            // Memory ran out: reported once for the batch; its saves not put in place leave nothing.
            failed.assign(1, std::current_exception());
            failedTargets.clear();
        }
        {
            std::lock_guard lock(mutex_);
            failures_.insert(failures_.end(), failed.begin(), failed.end());
            failedTargets_.insert(failedTargets_.end(), failedTargets.begin(), failedTargets.end());
            // The saves go (and with them any file not put in place) before anyone is told.
            for (std::size_t i = 0; i < count; ++i) inHand_.pop_front();
            written_ -= count;
        }
        settled_.notify_all();
    }
}

std::vector<std::exception_ptr> BackgroundSaves::place(std::size_t count,
                                                       std::vector<std::filesystem::path>& failedTargets) {
    // The first count in hand are left alone by the writer and the run until this returns.
    std::vector<InHand*> batch;
    {
        std::lock_guard lock(mutex_);
        for (std::size_t i = 0; i < count; ++i) batch.push_back(&inHand_[i]);
    }
    std::vector<std::exception_ptr> failures(count);
    std::vector<engine::PendingSave*> written;
    std::vector<std::size_t> positions;
    for (std::size_t i = 0; i < count; ++i) {
        failures[i] = batch[i]->failure;
        if (batch[i]->save.written()) {
            written.push_back(&batch[i]->save);
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
    for (std::size_t i = 0; i < count; ++i) {
        if (!failures[i]) continue;
        failed.push_back(failures[i]);
        failedTargets.push_back(batch[i]->save.target());
    }
    if (whole) failed.push_back(whole);
    return failed;
}

}  // namespace trelwick
