// A disk that fills up during a batch: the save of a deck that does not fit fails with a message
// naming it, leaves nothing behind, and trelwick-cli goes on with the next deck and exits 1.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "TestDecks.h"
#include "ZipWriter.h"
#include "common/CliRun.h"
#include "common/Corpus.h"
#include "common/Files.h"
#include "common/TempDir.h"
#include "trelwick/engine.h"

namespace trelwick::reliability {
namespace {

using trelwick::testing::CliResult;
using trelwick::testing::readFile;
using trelwick::testing::runCli;
using trelwick::testing::TempDir;

namespace fs = std::filesystem;

constexpr std::uint64_t kRoom = 64 * 1024;

// A deck whose stamped copy cannot fit in kRoom: it carries 200 KB of incompressible media.
void writeBigDeck(const fs::path& file) {
    auto parts = deckParts(3);
    std::mt19937 random(7);
    std::string noise(200 * 1024, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    ZipWriter zip(file);
    for (const auto& [name, content] : parts) zip.addDeflated(name, content);
    zip.addStored("ppt/media/image1.bin", noise);
    zip.finish();
}

struct Batch {
    TempDir source;
    std::vector<std::string> inputs;
    Batch() {
        writeBigDeck(source / "big1.pptx");
        writeDeck(source / "small.pptx", deckParts(1));
        writeBigDeck(source / "big2.pptx");
        for (const char* name : {"big1.pptx", "small.pptx", "big2.pptx"})
            inputs.push_back((source / name).string());
    }
};

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(line);
    return lines;
}

// What every full-disk run must show: one line per failed deck naming it and the write failure, the
// deck that fits stamped, nothing else in the output folder.
void expectFailedSavesReported(const CliResult& run, const std::vector<std::string>& outputNames,
                               const fs::path& smallCopy, const std::string& why) {
    EXPECT_EQ(run.exitCode, 1) << run.err;
    std::vector<std::string> failures;
    for (const std::string& line : linesOf(run.err))
        if (line.find(".pptx") != std::string::npos) failures.push_back(line);
    ASSERT_EQ(failures.size(), 2u) << run.err;
    EXPECT_NE(failures[0].find("big1.pptx"), std::string::npos) << failures[0];
    EXPECT_NE(failures[1].find("big2.pptx"), std::string::npos) << failures[1];
    for (const std::string& line : failures) EXPECT_NE(line.find(why), std::string::npos) << line;
    EXPECT_EQ(outputNames, std::vector<std::string>{"small.pptx"}) << "partial or temporary files left";
    auto stamped = engine::Presentation::open(smallCopy);
    EXPECT_TRUE(stamped.element(engine::MasterKind::Slide, engine::Element::Footer).visible);
    std::cout << "[ outcome  ] " << failures[0] << "\n";
}

// Injected: a file size limit makes every write past 64 KiB fail, as a full disk would.
TEST(WriteFailure, FileSizeLimitFailsTheSaveAndTheBatchGoesOn) {
    Batch batch;
    TempDir output, logs;
    std::vector<std::string> args{"-j", "1", "-o", output.path().string(), "--footer", "F"};
    args.insert(args.end(), batch.inputs.begin(), batch.inputs.end());
    const CliResult run = runCli(args, (logs / "fsize").string(), kRoom);
    expectFailedSavesReported(run, output.names(), output / "small.pptx", "File too large");
}

// The legacy .ppt writer keeps the same promise: the reason named, nothing left behind.
TEST(WriteFailure, LegacyDeckThatDoesNotFitFailsWithTheReason) {
    const fs::path legacy = trelwick::testing::corpusDir() / "poi__customGeo.ppt";
    if (!fs::exists(legacy)) GTEST_SKIP() << "the corpus (../shared/corpus/dev) is absent";
    TempDir output, logs;
    const CliResult run = runCli({"-o", output.path().string(), "--footer", "F", legacy.string()},
                                 (logs / "legacy").string(), kRoom);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    const std::vector<std::string> lines = linesOf(run.err);
    ASSERT_EQ(lines.size(), 1u) << run.err;
    EXPECT_NE(lines[0].find("poi__customGeo.ppt"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("File too large"), std::string::npos) << lines[0];
    EXPECT_TRUE(output.names().empty()) << "partial or temporary files left";
}

// Real: the output folder is a 64 KiB tmpfs, mounted in a private mount namespace (root only).
TEST(WriteFailure, FullFileSystemFailsTheSaveAndTheBatchGoesOn) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root; the injected case covers this";
    if (std::system("unshare -m true 2>/dev/null") != 0) GTEST_SKIP() << "no private mount namespaces here";
    Batch batch;
    TempDir mountPoint, logs, saved;
    std::string command = "unshare -m sh -c 'mount -t tmpfs -o size=" + std::to_string(kRoom) + " tmpfs " +
                          mountPoint.path().string() + " || exit 99; " + TRELWICK_CLI_PATH + " -j 1 -o " +
                          mountPoint.path().string() + " --footer F";
    for (const std::string& input : batch.inputs) command += " " + input;
    command += " >" + (logs / "tmpfs.out").string() + " 2>" + (logs / "tmpfs.err").string() +
               "; rc=$?; ls -A " + mountPoint.path().string() + " >" + (logs / "listing").string() +
               "; cp -a " + mountPoint.path().string() + "/. " + saved.path().string() + "; exit $rc'";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 99) GTEST_SKIP() << "tmpfs cannot be mounted here";
    CliResult run;
    run.exitCode = WEXITSTATUS(status);
    run.err = readFile(logs / "tmpfs.err");
    std::ifstream listing(logs / "listing");
    std::vector<std::string> names;
    for (std::string name; std::getline(listing, name);) names.push_back(name);
    expectFailedSavesReported(run, names, saved / "small.pptx", "No space left on device");
}

}  // namespace
}  // namespace trelwick::reliability
