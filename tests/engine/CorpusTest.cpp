#include <gtest/gtest.h>

#include <set>

#include "TestDeck.h"
#include "common/Corpus.h"
#include "trelwick/engine.h"

namespace trelwick::engine::test {
namespace {

const std::filesystem::path kCorpus = trelwick::testing::corpusDir();
const std::set<std::string> kFamily = {".pptx", ".pptm", ".potx", ".potm", ".ppsx", ".ppsm"};

std::vector<std::filesystem::path> corpusFiles(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().extension() != ".tsv") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

void setAll(Presentation& deck, bool visible, const std::string& tag) {
    for (Element e : {Element::DateAndTime, Element::Footer, Element::SlideNumber}) {
        deck.setText(MasterKind::Slide, e, "SLIDE-" + tag);
        deck.setUseFormat(MasterKind::Slide, e, false);
        deck.setVisible(MasterKind::Slide, e, visible);
    }
    for (Element e : {Element::DateAndTime, Element::Header, Element::Footer, Element::SlideNumber}) {
        deck.setText(MasterKind::Notes, e, "NOTES-" + tag);
        deck.setUseFormat(MasterKind::Notes, e, false);
        deck.setVisible(MasterKind::Notes, e, visible);
    }
}

bool isPageEntry(const std::string& name) {
    return name.rfind("ppt/slides/slide", 0) == 0 || name.rfind("ppt/notesSlides/notesSlide", 0) == 0;
}

TEST(CorpusTest, EveryDeckOpensStampsSavesAndReopens) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    const auto now = std::chrono::system_clock::from_time_t(1796644800);
    int stamped = 0;
    for (const auto& file : corpusFiles(kCorpus)) {
        SCOPED_TRACE(file.filename().string());
        TempDir dir;
        const auto out = dir / file.filename();
        if (file.extension() == ".ppt") continue;  // PptCorpusTest covers the legacy decks
        ASSERT_TRUE(kFamily.count(file.extension().string())) << "unexpected file in the corpus";
        try {
            Presentation deck = Presentation::open(file);
            deck.load();  // refuses nothing the stamp takes (the window loads every deck it opens)
            deck.setNow(now);
            setAll(deck, true, "MARK");
            deck.saveAs(out);
            Presentation reopened = Presentation::open(out);
            EXPECT_EQ(reopened.slideCount(), deck.slideCount());
            if (deck.slideCount() > 0) {
                EXPECT_TRUE(reopened.hasNotesMaster());
            }

            // Stamping the result again changes no XML.
            reopened.setNow(now);
            setAll(reopened, true, "MARK");
            reopened.saveAs(dir / "again.pptx");
            for (const std::string& name : entryNames(out)) {
                if (name.ends_with(".xml") || name.ends_with(".rels")) {
                    EXPECT_EQ(readEntry(out, name), readEntry(dir / "again.pptx", name)) << name;
                }
            }

            // Hiding everything leaves no marker on any page.
            Presentation hidden = Presentation::open(out);
            setAll(hidden, false, "GONE");
            hidden.saveAs(dir / "hidden.pptx");
            for (const std::string& name : entryNames(dir / "hidden.pptx")) {
                if (!isPageEntry(name) || !name.ends_with(".xml")) continue;
                const std::string xml = readEntry(dir / "hidden.pptx", name);
                EXPECT_EQ(xml.find("SLIDE-"), std::string::npos) << name;
                EXPECT_EQ(xml.find("NOTES-"), std::string::npos) << name;
            }
            ++stamped;
        } catch (const Error& e) {
            ADD_FAILURE() << e.what();
        }
    }
    EXPECT_GE(stamped, 50);
}

// Parsing ahead (as the window does on another thread) changes no byte of what is saved.
TEST(CorpusTest, ReadingAheadChangesNoByteOfTheOutput) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    const auto now = std::chrono::system_clock::from_time_t(1796644800);
    int compared = 0;
    for (const auto& file : corpusFiles(kCorpus)) {
        if (!kFamily.count(file.extension().string())) continue;
        SCOPED_TRACE(file.filename().string());
        TempDir dir;
        for (const bool preload : {false, true}) {
            Presentation deck = Presentation::open(file);
            if (preload) deck.preload();
            deck.setNow(now);
            setAll(deck, true, "MARK");
            deck.saveAs(dir / (preload ? "ahead.pptx" : "plain.pptx"));
        }
        EXPECT_EQ(readFile(dir / "ahead.pptx"), readFile(dir / "plain.pptx"));
        ++compared;
    }
    EXPECT_GE(compared, 50);
}

TEST(CorpusTest, BrokenAndProtectedFilesAreRefused) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus / "bad");
    for (const auto& file : corpusFiles(kCorpus / "bad")) {
        SCOPED_TRACE(file.filename().string());
        TempDir dir;
        try {
            Presentation deck = Presentation::open(file);
            deck.setVisible(MasterKind::Slide, Element::Footer, true);
            deck.saveAs(dir / "out.pptx");
            ADD_FAILURE() << "accepted";
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(file.filename().string()), std::string::npos);
        }
        EXPECT_TRUE(dir.names().empty());
    }
}

}  // namespace
}  // namespace trelwick::engine::test
