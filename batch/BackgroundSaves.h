#pragma once

#include <QString>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "trelwick/engine.h"

namespace trelwick {

// Puts written presentations in place (syncs each to the disk, then gives it its name) on a thread of
// its own, so that a run opens and stamps its next files instead of waiting for the disk. A deck handed
// over still to be written (engine::Presentation::deferSave) is written first on a second thread, which
// goes on writing the decks after it while the saves before wait on the disk. The saves that come in
// while the disk is waited for are put in place together, with one wait for all of them.
class BackgroundSaves {
  public:
    // Puts several saves in place: one result each, in order.
    using PutInPlace =
        std::function<std::vector<engine::PendingSave::Committed>(const std::vector<engine::PendingSave*>&)>;
    // Writes a deck handed over unwritten (engine::PendingSave::write).
    using Write = std::function<void(engine::PendingSave&)>;
    // engine::PendingSave::commitAll, leaving the folders to the caller to sync.
    static std::vector<engine::PendingSave::Committed> commitLeavingFolders(
        const std::vector<engine::PendingSave*>& saves);

    // depth: saves in hand at most (each holds an open file); unwrittenDepth: of those, decks still to
    // be written (each holds its parsed deck in memory). hand() waits while either many are.
    explicit BackgroundSaves(PutInPlace putInPlace = commitLeavingFolders, std::size_t depth = 16,
                             std::size_t unwrittenDepth = 2, Write write = {});
    BackgroundSaves(const BackgroundSaves&) = delete;
    BackgroundSaves& operator=(const BackgroundSaves&) = delete;
    ~BackgroundSaves();  // puts every save in hand in place first

    // Takes save to write if need be and put in place on the threads; waits first while depth saves, or
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
    // A save in hand, with why it could not be written, if it could not.
    struct InHand {
        engine::PendingSave save;
        std::exception_ptr failure;
    };

    void writeLoop();
    void placeLoop();
    // Puts the written saves of a batch in place; the failures in order, those of writing among them.
    std::vector<std::exception_ptr> place(std::size_t count,
                                          std::vector<std::filesystem::path>& failedTargets);

    const PutInPlace putInPlace_;
    const Write write_;
    const std::size_t depth_;
    const std::size_t unwrittenDepth_;
    mutable std::mutex mutex_;
    std::condition_variable toWrite_;  // a deck was handed over, or the queue closes
    std::condition_variable toPlace_;  // a deck was written, or the queue closes
    std::condition_variable settled_;  // a deck was written or put in place: room for the run
    // In the order handed over. The writer works on the first one not yet written, the placer on the
    // written ones before it; a deque's elements stay where they are while others come and go.
    std::deque<InHand> inHand_;
    std::size_t written_ = 0;    // the first written_ in hand are written, or failed to be
    std::size_t unwritten_ = 0;  // in hand, handed over unwritten and not yet written
    std::vector<std::exception_ptr> failures_;
    std::vector<std::filesystem::path> failedTargets_;
    bool closing_ = false;
    std::thread writer_;
    std::thread placer_;
};

}  // namespace trelwick
