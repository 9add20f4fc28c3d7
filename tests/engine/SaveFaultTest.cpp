// A save meeting a failing system call at each of its steps: the source stays as it was (unless it is
// the target, and then it too stays until the save is complete), nothing half-written or temporary is
// left, a replaced deck keeps what it held, and the caller gets WriteFailed naming the target and
// why. SystemFaults.c makes the calls fail.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <optional>
#include <set>

#include "SystemFaults.h"
#include "TestDeck.h"
#include "common/Corpus.h"

namespace trelwick::engine::test {
namespace {

namespace fs = std::filesystem;

const std::string kMedia = "ppt/media/video1.mp4";

// Large enough to be copied file to file by the kernel, in several calls when it copies short.
std::string mediaBytes() {
    std::string bytes(1u << 20, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 131 + i / 4096) % 251);
    return bytes;
}

// Opened part by part, as a deck too large to read whole is: its media goes file to file.
Limits partByPart() {
    Limits limits;
    limits.readWholeBelow = 0;
    return limits;
}

// Where the save goes: a new file, over another deck, or over its own source.
enum class Target { New, Other, Source };

const char* describe(Target t) {
    return t == Target::New     ? "a new file"
           : t == Target::Other ? "replacing another deck"
                                : "replacing its source";
}

class SaveFaultTest : public ::testing::Test {
  protected:
    void SetUp() override {
        DeckPlan plan;
        plan.extraEntries = {{kMedia, mediaBytes()}};
        writeZip(dir / "deck.pptx", buildDeck(plan), true);
        writeZip(dir / "other.pptx", buildDeck(DeckPlan{}));
        source_ = readFile(dir / "deck.pptx");
        other_ = readFile(dir / "other.pptx");
    }
    void TearDown() override { clearSystemFaults(); }

    // After a save that went through, the decks as SetUp wrote them for the next case: a save over
    // another deck or over the source replaced it.
    void putBack() {
        writeFile(dir / "deck.pptx", source_);
        writeFile(dir / "other.pptx", other_);
        fs::remove(dir / "new.pptx");
    }

    fs::path targetOf(Target t) const {
        return t == Target::New     ? dir / "new.pptx"
               : t == Target::Other ? dir / "other.pptx"
                                    : dir / "deck.pptx";
    }

    // Stamps the deck and saves it to target; the Error it failed with, if it did.
    std::optional<Error> save(
        const fs::path& target, const std::function<void()>& arm = [] {}) {
        return saveFrom(dir / "deck.pptx", target, arm);
    }

    std::optional<Error> saveFrom(const fs::path& source, const fs::path& target,
                                  const std::function<void()>& arm) {
        Presentation deck = withSlideFooter(source, "Stamped", partByPart());
        arm();
        try {
            deck.saveAs(target);
        } catch (const Error& e) {
            clearSystemFaults();
            return e;
        }
        clearSystemFaults();
        return std::nullopt;
    }

    // What a failed save must leave: the source and every other file as they were, nothing more.
    void expectNothingChanged(Target t) const {
        EXPECT_TRUE(readFile(dir / "deck.pptx") == source_) << "the source changed";
        EXPECT_TRUE(readFile(dir / "other.pptx") == other_) << "the deck it was to replace changed";
        EXPECT_EQ(dir.names(), (std::vector<std::string>{"deck.pptx", "other.pptx"}))
            << "a temporary or partial file was left (" << describe(t) << ")";
    }

    void expectSaved(Target t) const {
        const fs::path target = targetOf(t);
        EXPECT_EQ(Presentation::open(target).element(MasterKind::Slide, Element::Footer).text, "Stamped");
        EXPECT_TRUE(readEntry(target, kMedia) == mediaBytes()) << "the media did not come through whole";
        if (t != Target::Source) {
            EXPECT_TRUE(readFile(dir / "deck.pptx") == source_) << "the source changed";
        }
        std::set<std::string> expected{"deck.pptx", "other.pptx", target.filename().string()};
        EXPECT_EQ(dir.names(), std::vector<std::string>(expected.begin(), expected.end()));
    }

    static void expectFailure(const Error& e, const fs::path& target, const std::string& why) {
        EXPECT_EQ(e.code(), ErrorCode::WriteFailed) << e.what();
        EXPECT_EQ(e.file(), target.string());
        EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << e.what();
    }

    TempDir dir;
    std::string source_, other_;
};

struct CallFault {
    const char* what;
    SystemCall call;
    int nth;
    int error;
    bool repeat;
    bool fileSizeLimit;  // writes past 64 KiB fail, as on a full disk
    std::string why;     // in the message; empty: the save succeeds
    bool replacingOnly;  // a new deck never makes the call
};

// Runs save with the file size limited, as a disk with 64 KiB left would do.
template <typename Save>
auto withFileSizeLimit(bool limit, Save&& save) {
    struct rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    struct rlimit limited = old;
    limited.rlim_cur = 64 * 1024;
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    if (limit) ::setrlimit(RLIMIT_FSIZE, &limited);
    auto result = save();
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    return result;
}

// A share or a FAT disk has no unnamed files: the deck is written under a hidden name, which must
// go however the save ends.
TEST_F(SaveFaultTest, ASaveThroughAHiddenNameLeavesNothingWhereverItFails) {
    const CallFault faults[] = {
        {"nothing fails", kFsync, 0, 0, false, false, "", false},
        {"the hidden file cannot be created", kCreateNamed, 1, EACCES, true, false,
         "cannot create a temporary file in the output folder (Permission denied)", false},
        {"every hidden name is taken", kCreateNamed, 1, EEXIST, true, false,
         "cannot create a temporary file in the output folder (File exists)", false},
        {"the disk fills up", kFsync, 0, 0, false, true, "cannot write the output file (File too large)",
         false},
        {"the file cannot be flushed", kFsync, 1, EIO, false, false,
         "cannot flush the written file to disk (Input/output error)", false},
        {"it cannot be renamed over the target", kRename, 1, EDQUOT, false, false,
         "cannot move the written file into place (Disk quota exceeded)", false},
    };
    for (const CallFault& f : faults) {
        for (Target t : {Target::New, Target::Other, Target::Source}) {
            SCOPED_TRACE(std::string(f.what) + ", " + describe(t));
            const std::optional<Error> failure = withFileSizeLimit(f.fileSizeLimit, [&] {
                return save(targetOf(t), [&] {
                    failSystemCall(kOpenUnnamed, 1, EOPNOTSUPP, true);
                    if (f.nth) failSystemCall(f.call, f.nth, f.error, f.repeat);
                });
            });
            if (f.why.empty()) {
                EXPECT_FALSE(failure) << failure->what();
                expectSaved(t);
                putBack();
                continue;
            }
            ASSERT_TRUE(failure) << "saved";
            expectFailure(*failure, targetOf(t), f.why);
            expectNothingChanged(t);
        }
    }
}

// The unnamed file is linked in under the target's name, or, over an existing deck, under a hidden
// name that is then renamed over it.
TEST_F(SaveFaultTest, ASaveThroughAnUnnamedFileLeavesNothingWhereverItFails) {
    if (::access("/proc/self/fd", X_OK) != 0) GTEST_SKIP() << "without /proc every save is named";
    ASSERT_FALSE(save(dir / "probe.pptx"));
    fs::remove(dir / "probe.pptx");
    const CallFault faults[] = {
        {"the file cannot be flushed", kFsync, 1, EIO, false, false,
         "cannot flush the written file to disk (Input/output error)", false},
        {"no name can be added to the folder", kLinkat, 1, ENOSPC, true, false,
         "cannot move the written file into place (No space left on device)", false},
        {"the hidden name cannot be added", kLinkat, 2, ENOSPC, false, false,
         "cannot move the written file into place (No space left on device)", true},
        {"the hidden name cannot be renamed over the target", kRename, 1, EIO, false, false,
         "cannot move the written file into place (Input/output error)", true},
    };
    for (const CallFault& f : faults) {
        for (Target t : {Target::New, Target::Other, Target::Source}) {
            SCOPED_TRACE(std::string(f.what) + ", " + describe(t));
            const std::optional<Error> failure =
                save(targetOf(t), [&] { failSystemCall(f.call, f.nth, f.error, f.repeat); });
            // A new deck is linked in once, under its own name, and never renamed.
            if (f.replacingOnly && t == Target::New) {
                EXPECT_FALSE(failure) << failure->what();
                expectSaved(t);
                putBack();
                continue;
            }
            ASSERT_TRUE(failure) << "saved";
            expectFailure(*failure, targetOf(t), f.why);
            expectNothingChanged(t);
        }
    }
}

// The media is copied by copy_file_range, which may copy less than asked, or refuse where the caller
// is to copy another way (another file system, an old kernel). Whatever it does, the deck saved is
// the one written without it, or the save fails and leaves nothing.
TEST_F(SaveFaultTest, ACopyByTheKernelThatStopsOrFailsGivesTheWholeDeckOrNone) {
    ASSERT_FALSE(save(dir / "expected.pptx"));
    const std::string expected = readFile(dir / "expected.pptx");
    fs::remove(dir / "expected.pptx");
    struct Case {
        const char* what;
        std::size_t limit;  // bytes a call copies at most
        int nth;
        int error;
        enum { Saved, Fails, Either } outcome;
    };
    const Case cases[] = {
        {"copies short every time", 100000, 0, 0, Case::Saved},
        {"another file system", 0, 1, EXDEV, Case::Saved},
        {"no such call", 0, 1, ENOSYS, Case::Saved},
        {"not for these files", 0, 1, EINVAL, Case::Saved},
        {"not supported here", 0, 1, EOPNOTSUPP, Case::Saved},
        {"a disk error midway", 100000, 3, EIO, Case::Fails},
        {"the disk fills up midway", 100000, 3, ENOSPC, Case::Fails},
        {"refused midway", 100000, 3, EXDEV, Case::Fails},
        {"a disk error at once", 0, 1, EIO, Case::Either},
        // Some FUSE and network file systems copy nothing rather than refuse.
        {"nothing copied at once", 0, 1, 0, Case::Saved},
    };
    for (const Case& c : cases) {
        for (Target t : {Target::New, Target::Source}) {
            SCOPED_TRACE(std::string(c.what) + ", " + describe(t));
            const std::optional<Error> failure = save(targetOf(t), [&] {
                limitCopyFileRange(c.limit);
                if (c.nth) failSystemCall(kCopyFileRange, c.nth, c.error, false);
            });
            if (c.outcome == Case::Saved) {
                EXPECT_FALSE(failure) << failure->what();
            }
            if (c.outcome == Case::Fails) {
                EXPECT_TRUE(failure) << "saved";
            }
            if (failure) {
                if (c.outcome == Case::Fails)
                    expectFailure(*failure, targetOf(t), "cannot write the output file");
                expectNothingChanged(t);
                continue;
            }
            EXPECT_TRUE(readFile(targetOf(t)) == expected)
                << "the deck saved differs from the one written whole";
            expectSaved(t);
            putBack();
        }
    }
}

// Where the kernel copies nothing at once the media is read and written through the buffer; a source
// that ends early there too was cut short while it was stamped, and is told so, not as damaged.
TEST_F(SaveFaultTest, ASourceCutShortIsToldAsChangedWhenTheKernelCopiesNothing) {
    const std::size_t media = source_.find(mediaBytes().substr(0, 4096));
    ASSERT_NE(media, std::string::npos);
    const std::optional<Error> failure = save(targetOf(Target::New), [&] {
        fs::resize_file(dir / "deck.pptx", media + 1000);
        failSystemCall(kCopyFileRange, 1, 0, false);
    });
    ASSERT_TRUE(failure) << "saved from a source cut short";
    EXPECT_EQ(failure->code(), ErrorCode::ReadFailed) << failure->what();
    EXPECT_NE(std::string(failure->what()).find("changed while it was being read"), std::string::npos)
        << failure->what();
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"deck.pptx", "other.pptx"}));
}

// A legacy deck is read from its file while its copy is written (its pictures above all); saved
// over itself, it too stays as it was until its copy is complete and in place.
TEST_F(SaveFaultTest, ALegacyDeckSavedOverItselfStaysWholeWhereverItsSaveFails) {
    TRELWICK_SKIP_WITHOUT_CORPUS(trelwick::testing::corpusDir());
    const fs::path legacy = dir / "legacy.ppt";
    fs::copy_file(trelwick::testing::corpusDir() / "poi__customGeo.ppt", legacy);
    fs::permissions(legacy, fs::perms::owner_write, fs::perm_options::add);
    const std::string before = readFile(legacy);
    const CallFault faults[] = {
        {"the disk fills up", kFsync, 0, 0, false, true, "cannot write the output file (File too large)",
         false},
        {"the file cannot be flushed", kFsync, 1, EIO, false, false, "cannot flush the written file to disk",
         false},
        {"no name can be added to the folder", kLinkat, 1, ENOSPC, true, false,
         "cannot move the written file into place", false},
        {"it cannot be renamed over itself", kRename, 1, EIO, false, false,
         "cannot move the written file into place", false},
    };
    for (const CallFault& f : faults) {
        SCOPED_TRACE(f.what);
        const std::optional<Error> failure = withFileSizeLimit(f.fileSizeLimit, [&] {
            return saveFrom(legacy, legacy, [&] {
                if (f.nth) failSystemCall(f.call, f.nth, f.error, f.repeat);
            });
        });
        ASSERT_TRUE(failure) << "saved";
        expectFailure(*failure, legacy, f.why);
        EXPECT_TRUE(readFile(legacy) == before) << "the deck changed";
        EXPECT_EQ(dir.names(), (std::vector<std::string>{"deck.pptx", "legacy.ppt", "other.pptx"}));
    }
    EXPECT_FALSE(saveFrom(legacy, legacy, [] {}));
    EXPECT_EQ(Presentation::open(legacy).element(MasterKind::Slide, Element::Footer).text, "Stamped");
}

// Saves committed together: the one that cannot be written or put in place leaves its target as it
// was and nothing of its own; the others are in place.
TEST_F(SaveFaultTest, SavesCommittedTogetherStandWhenOneOfThemCannotBePutInPlace) {
    const struct {
        const char* what;
        SystemCall call;
        std::string why;
    } faults[] = {
        {"its media cannot be copied", kCopyFileRange, "cannot write the output file"},
        {"its file cannot be flushed", kFsync, "cannot flush the written file to disk"},
        {"it cannot be renamed over its target", kRename, "cannot move the written file into place"},
    };
    for (const auto& f : faults) {
        SCOPED_TRACE(f.what);
        std::vector<fs::path> targets;
        for (const char* name : {"a.pptx", "b.pptx", "c.pptx"}) {
            targets.push_back(dir / name);
            writeFile(targets.back(), other_);
        }
        std::vector<PendingSave> saves;
        for (const fs::path& target : targets)
            saves.push_back(withSlideFooter(dir / "deck.pptx", "Together", partByPart()).deferSave(target));
        failSystemCall(f.call, 2, EIO, false);
        const std::vector<PendingSave::Committed> results =
            PendingSave::commitAll({&saves[0], &saves[1], &saves[2]});
        clearSystemFaults();
        ASSERT_EQ(results.size(), 3u);
        EXPECT_FALSE(results[0].failure);
        EXPECT_FALSE(results[2].failure);
        ASSERT_TRUE(results[1].failure);
        try {
            std::rethrow_exception(results[1].failure);
        } catch (const Error& e) {
            expectFailure(e, targets[1], f.why);
        }
        for (const fs::path& saved : {targets[0], targets[2]}) {
            EXPECT_EQ(Presentation::open(saved).element(MasterKind::Slide, Element::Footer).text, "Together");
            EXPECT_TRUE(readEntry(saved, kMedia) == mediaBytes());
        }
        EXPECT_TRUE(readFile(targets[1]) == other_) << "the deck the failed save was to replace changed";
        EXPECT_TRUE(readFile(dir / "deck.pptx") == source_);
        EXPECT_EQ(dir.names(),
                  (std::vector<std::string>{"a.pptx", "b.pptx", "c.pptx", "deck.pptx", "other.pptx"}));
        for (const fs::path& target : targets) fs::remove(target);
    }
}

}  // namespace
}  // namespace trelwick::engine::test
