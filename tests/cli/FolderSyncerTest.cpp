// Output folders are synced together: never once a deck, at most once an interval while a batch runs,
// and always for every folder that got a deck before the batch ends.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "FolderSyncer.h"

namespace trelwick::cli {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

struct Recorder {
    std::vector<std::string> synced;
    FolderSyncer::Clock::time_point now{};
};

TEST(FolderSyncer, SyncsEachFolderOnceAnIntervalAndWhatIsLeftAtTheEnd) {
    Recorder r;
    {
        FolderSyncer folders(
            1s, [&](const fs::path& f) { r.synced.push_back(f.string()); }, [&] { return r.now; });
        folders.saved("out/a");
        folders.saved("out/b");
        folders.saved("out/a");
        EXPECT_TRUE(r.synced.empty()) << "synced before the interval passed";

        r.now += 999ms;
        folders.saved("out/a");
        EXPECT_TRUE(r.synced.empty());

        r.now += 1ms;
        folders.saved("out/c");
        EXPECT_EQ(r.synced, (std::vector<std::string>{"out/a", "out/b", "out/c"}));

        // The interval runs again from that sync.
        r.synced.clear();
        r.now += 500ms;
        folders.saved("out/b");
        EXPECT_TRUE(r.synced.empty());

        folders.syncAll();
        EXPECT_EQ(r.synced, std::vector<std::string>{"out/b"});
        folders.syncAll();
        EXPECT_EQ(r.synced.size(), 1u) << "nothing new was saved, nothing to sync";

        r.synced.clear();
        folders.saved("");  // a target given without a folder is in the current one
    }
    EXPECT_EQ(r.synced, std::vector<std::string>{"."}) << "the end of the batch syncs what is left";
}

TEST(FolderSyncer, ManyLanesSavingAtOnceLoseNoFolder) {
    std::mutex m;
    std::multiset<std::string> synced;
    {
        FolderSyncer folders(0s, [&](const fs::path& f) {
            std::lock_guard lock(m);
            synced.insert(f.string());
        });
        std::vector<std::jthread> lanes;
        for (int lane = 0; lane < 4; ++lane)
            lanes.emplace_back([&, lane] {
                for (int deck = 0; deck < 200; ++deck) folders.saved("out/" + std::to_string(lane));
            });
    }
    for (int lane = 0; lane < 4; ++lane) EXPECT_GE(synced.count("out/" + std::to_string(lane)), 1u);
}

TEST(FolderSyncer, RealFoldersAreSyncedWithoutComplaint) {
    const fs::path folder = fs::temp_directory_path();
    FolderSyncer folders(0s);
    EXPECT_NO_THROW(folders.saved(folder));
    // Gone meanwhile: nothing to sync, nothing to report.
    EXPECT_NO_THROW(folders.saved(folder / "no such folder"));
    EXPECT_NO_THROW(folders.syncAll());
}

}  // namespace
}  // namespace trelwick::cli
