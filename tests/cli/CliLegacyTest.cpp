// trelwick-cli over legacy .ppt decks: found in folders, stamped, refused with a reason, and what cannot
// show said on stderr.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/CliRun.h"
#include "common/Corpus.h"
#include "common/TempDir.h"
#include "trelwick/engine.h"

namespace fs = std::filesystem;

namespace trelwick::cli {
namespace {

using trelwick::testing::CliResult;
using trelwick::testing::runCli;
using trelwick::testing::TempDir;

const fs::path kCorpus = trelwick::testing::corpusDir();

TEST(CliLegacy, AFolderOfPptDecksIsStampedRefusalsAndLimitsAreSaid) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    TempDir tmp;
    fs::create_directories(tmp.path() / "in" / "old");
    fs::copy_file(kCorpus / "poi__headers_footers.ppt", tmp.path() / "in" / "a.ppt");
    fs::copy_file(kCorpus / "poi__23884_defense_FINAL_OOimport_edit.ppt", tmp.path() / "in" / "b.PPS");
    fs::copy_file(kCorpus / "bad" / "poi__PPT95.ppt", tmp.path() / "in" / "old" / "c.pot");

    const CliResult r = runCli({"-o", (tmp.path() / "out").string(), "--footer", "LegacyMark",
                                "--slide-number", (tmp.path() / "in").string()});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_TRUE(fs::exists(tmp.path() / "out" / "a.ppt"));
    EXPECT_TRUE(fs::exists(tmp.path() / "out" / "b.PPS"));
    EXPECT_FALSE(fs::exists(tmp.path() / "out" / "c.pot"));
    EXPECT_NE(r.err.find("c.pot: PowerPoint 95 and older presentations cannot be stamped"), std::string::npos)
        << r.err;
    // The master lacks a footer placeholder, which is added; its number sits in a text box of its own.
    EXPECT_EQ(r.err.find("b.PPS: the footer cannot show"), std::string::npos) << r.err;
    EXPECT_NE(
        r.err.find("b.PPS: the slide number cannot show as set on 30 slides: the slide master has no slide "
                   "number placeholder"),
        std::string::npos)
        << r.err;
    EXPECT_NE(r.out.find("Stamped 2 of 3 presentations"), std::string::npos) << r.out;

    const engine::Presentation stamped = engine::Presentation::open(tmp.path() / "out" / "a.ppt");
    const engine::HeaderFooter footer = stamped.element(engine::MasterKind::Slide, engine::Element::Footer);
    EXPECT_TRUE(footer.visible);
    EXPECT_EQ(footer.text, "LegacyMark");
    EXPECT_TRUE(stamped.element(engine::MasterKind::Slide, engine::Element::SlideNumber).visible);
    EXPECT_FALSE(stamped.element(engine::MasterKind::Slide, engine::Element::DateAndTime).visible);
}

}  // namespace
}  // namespace trelwick::cli
