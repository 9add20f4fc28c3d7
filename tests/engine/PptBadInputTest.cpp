#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>

#include "Bytes.h"
#include "TestDeck.h"
#include "TestPptDeck.h"
#include "cfb/CompoundFile.h"
#include "common/Corpus.h"
#include "trelwick/engine.h"

namespace trelwick::engine::test {
namespace {

const std::filesystem::path kCorpus = trelwick::testing::corpusDir();

// A good one-edit deck with its PowerPoint streams changed by edit(currentUser, document).
std::string alteredDeck(const std::function<void(std::string&, std::string&)>& edit) {
    return alteredPptDeck(kCorpus / "poi__headers_footers.ppt", edit);
}

std::uint32_t currentEdit(const std::string& user) {
    return get32(user, 16);
}

struct BadDeck {
    const char* name;
    std::function<void(const std::filesystem::path&)> make;  // writes the deck at the path
    ErrorCode code;
};

std::vector<BadDeck> badDecks() {
    auto corpus = [](const char* file) {
        return
            [file](const std::filesystem::path& p) { std::filesystem::copy_file(kCorpus / "bad" / file, p); };
    };
    auto altered = [](std::function<void(std::string&, std::string&)> edit) {
        return [edit](const std::filesystem::path& p) { writeFile(p, alteredDeck(edit)); };
    };
    return {
        {"password protected (RC4)", corpus("poi__Password_Protected-hello.ppt"),
         ErrorCode::PasswordProtected},
        {"password protected (CryptoAPI)", corpus("poi__cryptoapi-proc2356.ppt"),
         ErrorCode::PasswordProtected},
        {"PowerPoint 95", corpus("poi__PPT95.ppt"), ErrorCode::LegacyFormat},
        {"PowerPoint 4 only", corpus("poi__pp40only.ppt"), ErrorCode::LegacyFormat},
        {"corrupted user edit", corpus("poi__57272_corrupted_usereditatom.ppt"), ErrorCode::DamagedPackage},
        {"fuzzed mini stream",
         corpus("poi__clusterfuzz-testcase-minimized-POIHSLFFuzzer-5962760801091584.ppt"),
         ErrorCode::DamagedPackage},
        {"fuzzed header", corpus("poi__clusterfuzz-testcase-minimized-POIHSLFFuzzer-6614960949821440.ppt"),
         ErrorCode::DamagedPackage},
        {"dual format",
         [](const std::filesystem::path& p) { std::filesystem::copy_file(kCorpus / "poi__bug56240.ppt", p); },
         ErrorCode::LegacyFormat},
        {"encrypted token", altered([](std::string& user, std::string&) { put32(user, 12, 0xF3D1C4DF); }),
         ErrorCode::PasswordProtected},
        {"encryption marker behind a plain token", altered([](std::string& user, std::string& document) {
             const std::uint32_t edit = currentEdit(user);
             ASSERT_EQ(edit + 8 + 0x1C, document.size()) << "the fixture's edit is no longer last";
             put32(document, edit + 4, 0x20);
             append32(document, 1);
         }),
         ErrorCode::PasswordProtected},
        {"edit chain loops", altered([](std::string& user, std::string& document) {
             put32(document, currentEdit(user) + 16, currentEdit(user));
         }),
         ErrorCode::DamagedPackage},
        {"current edit out of range",
         altered([](std::string& user, std::string&) { put32(user, 16, 0xFFFFFF00); }),
         ErrorCode::DamagedPackage},
        {"persist directory out of range", altered([](std::string& user, std::string& document) {
             put32(document, currentEdit(user) + 20, 0x7FFFFFFF);
         }),
         ErrorCode::DamagedPackage},
        {"document record cut short", altered([](std::string& user, std::string& document) {
             put32(document, currentEdit(user) + 24, 0xFFFF);  // docPersistIdRef names no object
         }),
         ErrorCode::DamagedPackage},
        {"current user cut short", altered([](std::string& user, std::string&) { user.resize(20); }),
         ErrorCode::DamagedPackage},
    };
}

TEST(PptBadInputTest, RefusedWithAReasonSourceKeptNoOutput) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    for (const BadDeck& c : badDecks()) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const auto source = dir / "deck.ppt";
        c.make(source);
        if (::testing::Test::HasFatalFailure()) return;
        const std::string before = readFile(source);
        std::filesystem::create_directories(dir / "out");
        try {
            Presentation deck = Presentation::open(source);
            deck.setVisible(MasterKind::Slide, Element::Footer, true);
            deck.saveAs(dir / "out" / "deck.ppt");
            ADD_FAILURE() << "stamped";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), c.code) << e.what();
            EXPECT_EQ(e.file(), source.string());
            EXPECT_EQ(std::string(e.what()).rfind(source.string(), 0), 0u) << e.what();
        }
        EXPECT_TRUE(std::filesystem::is_empty(dir / "out"));
        EXPECT_TRUE(readFile(source) == before);
    }
}

TEST(PptBadInputTest, FilesOver2GBAreRefusedBySizeBeforeReading) {
    TempDir dir;
    const auto source = dir / "huge.ppt";
    writeFile(source, oleFile({"Current User", "PowerPoint Document"}));
    std::error_code ec;
    std::filesystem::resize_file(source, CompoundFile::kMaxBytes + 1, ec);  // sparse: no disk space used
    if (ec) GTEST_SKIP() << "cannot make a sparse file here: " << ec.message();
    try {
        Presentation::open(source);
        ADD_FAILURE() << "opened";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), ErrorCode::LimitExceeded) << e.what();
        EXPECT_EQ(std::string(e.what()), source.string() + ": the presentation is larger than 2 GB");
    }
}

// A deck too large to be read whole is read from its file as it is saved: a source cut short or
// written over in place after opening fails the save with the reason, and leaves no output, rather
// than giving a deck made of two versions.
TEST(PptBadInputTest, ASourceChangedAfterOpeningFailsTheSaveAndLeavesNoOutput) {
    const std::filesystem::path model = kCorpus / "poi__customGeo.ppt";
    TRELWICK_SKIP_WITHOUT_CORPUS(model.parent_path());
    const std::vector<std::pair<const char*, std::function<void(const std::filesystem::path&)>>> changes = {
        {"cut short", [](const std::filesystem::path& p) { std::filesystem::resize_file(p, 600000); }},
        {"written over",
         [](const std::filesystem::path& p) {
             std::string bytes = readFile(p);
             std::fill(bytes.end() - 4096, bytes.end(), 'x');
             std::fstream(p, std::ios::in | std::ios::out | std::ios::binary)
                 .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
         }},
    };
    for (const auto& [what, change] : changes) {
        SCOPED_TRACE(what);
        TempDir dir;
        const auto source = dir / "deck.ppt";
        std::filesystem::copy_file(model, source);
        std::filesystem::create_directories(dir / "out");
        Presentation deck = Presentation::open(source);
        deck.setVisible(MasterKind::Slide, Element::Footer, true);
        change(source);
        try {
            deck.saveAs(dir / "out" / "deck.ppt");
            ADD_FAILURE() << "saved";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), ErrorCode::ReadFailed) << e.what();
            EXPECT_EQ(e.file(), source.string());
        }
        EXPECT_TRUE(std::filesystem::is_empty(dir / "out"));
    }
}

}  // namespace
}  // namespace trelwick::engine::test
