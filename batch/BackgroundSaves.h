#pragma once

#include <QString>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <filesystem>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "trelwick/engine.h"

namespace trelwick {

// Puts written presentations in place (syncs each to the disk, then gives it its name) on a thread of
// its own, so that a run opens and stamps its next files instead of waiting for the disk; a deck handed
// over still to be written (engine::Presentation::deferSave) is written there first. The saves that
// come in while it waits are put in place together, with one wait on the disk for all of them.
class BackgroundSaves {
public:
    // Puts several saves in place: one result each, in order.
    using PutInPlace = std::function<std::vector<engine::PendingSave::Committed>(
        const std::vector<engine::PendingSave*>&)>;
    // engine::PendingSave::commitAll, leaving the folders to the caller to sync.
    static std::vector<engine::PendingSave::Committed> commitLeavingFolders(
        const std::vector<engine::PendingSave*>& saves);

    // depth: saves in hand at most (each holds an open file); unwrittenDepth: of those, decks still to
    // be written (each holds its parsed deck in memory). hand() waits while either many are.
    explicit BackgroundSaves(PutInPlace putInPlace = commitLeavingFolders, std::size_t depth = 16,
                             std::size_t unwrittenDepth = 2);
    BackgroundSaves(const BackgroundSaves&) = delete;
    BackgroundSaves& operator=(const BackgroundSaves&) = delete;
    ~BackgroundSaves();  // puts every save in hand in place first

    // Takes save to write if need be and put in place on the thread; waits first while depth saves, or
    // unwrittenDepth unwritten ones, are in hand.
    void hand(engine::PendingSave save);
    // Waits until every save handed over is in place, or has failed.
    void waitAll();
    // The failures of the saves put in place since the last call, in the order the saves were handed
    // over; each an AppError with the engine's description when rethrown.
    std::vector<std::exception_ptr> takeFailures();
    // The targets of the saves that were written or put in place by none of them since last asked;
    // not those of a batch that failed as a whole, of which some may be in place.
    std::vector<std::filesystem::path> takeFailedTargets();
    // True when path may name the file a save in hand is to create or replace: it does not exist (yet),
    // it is the file a save's target names now, or it cannot be told.
    bool mayBeTargetOf(const QString& path) const;

private:
    void loop();
    // Writes the batch's unwritten decks (counting each off unwritten as its memory goes), then puts
    // the written ones in place; the failures in order.
    std::vector<std::exception_ptr> settle(std::deque<engine::PendingSave>& batch, std::size_t& unwritten,
                                           std::vector<std::filesystem::path>& failedTargets);

    const PutInPlace putInPlace_;
    const std::size_t depth_;
    const std::size_t unwrittenDepth_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<engine::PendingSave> waiting_;
    std::vector<std::filesystem::path> settling_;  // the targets of the saves being put in place
    std::size_t inHand_ = 0;
    std::size_t unwritten_ = 0;  // of those in hand
    std::vector<std::exception_ptr> failures_;
    std::vector<std::filesystem::path> failedTargets_;
    bool closing_ = false;
    std::thread thread_;  // last: starts once the members it uses exist
};

}  // namespace trelwick
