// Hostile, broken and unreachable inputs: each gives one engine error naming the file, leaves no output
// and the source unchanged, and stays within a generous memory bound. Every case runs in a child
// process, so a crash or a blow-up fails that case alone.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "EngineChild.h"
#include "TestDecks.h"
#include "ZipWriter.h"
#include "cfb/CompoundFile.h"
#include "common/Corpus.h"
#include "common/Files.h"
#include "common/Sanitizer.h"
#include "common/TempDir.h"
#include "common/Zip.h"
#include "trelwick/engine.h"

namespace trelwick::reliability {
namespace {

using trelwick::testing::readFile;
using trelwick::testing::TempDir;
using trelwick::testing::writeFile;
using trelwick::testing::writeZip;

using engine::ErrorCode;
namespace fs = std::filesystem;

#if defined(__SANITIZE_ADDRESS__)
constexpr long kMemoryBoundKb = 1024 * 1024;  // ASan's quarantine keeps freed blocks alive
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr long kMemoryBoundKb = 1024 * 1024;
#else
constexpr long kMemoryBoundKb = 256 * 1024;
#endif
#else
constexpr long kMemoryBoundKb = 256 * 1024;
#endif

// A deck of one slide whose parts may be replaced or added.
fs::path deckWith(const fs::path& file, const std::map<std::string, std::string>& changes) {
    auto parts = deckParts(1);
    for (const auto& [name, content] : changes) parts[name] = content;
    writeDeck(file, parts);
    return file;
}

const std::string kSlideRelType = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/slide";
const std::string kRelsHead =
    R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)";

std::string presentationRelsWithSlideAt(const std::string& target) {
    return kRelsHead +
           R"(<Relationship Id="rIdM" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/slideMaster" Target="slideMasters/slideMaster1.xml"/>)"
           R"(<Relationship Id="rIdN" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/notesMaster" Target="notesMasters/notesMaster1.xml"/>)"
           R"(<Relationship Id="rId1" Type=")" +
           kSlideRelType + R"(" Target=")" + target + R"("/></Relationships>)";
}

struct BadCase {
    std::string name;
    std::function<fs::path(const TempDir&)> make;  // returns the input path
    ErrorCode expected;
};

// A file of size bytes that starts with head and is holes after it: large, yet costing the disk
// next to nothing.
fs::path sparseFile(const fs::path& file, const std::string& head, std::streamoff size) {
    std::ofstream out(file, std::ios::binary);
    out.write(head.data(), static_cast<std::streamsize>(head.size()));
    out.seekp(size - 1);
    out.put('\0');
    return file;
}

std::vector<BadCase> madeCases() {
    return {
        {"NotAZip",
         [](const TempDir& t) {
             std::ofstream(t / "notes.pptx") << "These are my speaker notes, saved with the wrong name.\n";
             return t / "notes.pptx";
         },
         ErrorCode::NotAPresentation},
        {"EmptyFile",
         [](const TempDir& t) {
             std::ofstream(t / "empty.pptx").flush();
             return t / "empty.pptx";
         },
         ErrorCode::NotAPresentation},
        {"FolderNamedLikeADeck",
         [](const TempDir& t) {
             fs::create_directory(t / "folder.pptx");
             return t / "folder.pptx";
         },
         ErrorCode::FileNotFound},
        {"ZipBombSlideOfOneGigabyte",
         [](const TempDir& t) {
             ZipWriter zip(t / "bomb.pptx");
             for (const auto& [name, content] : deckParts(1))
                 if (name != "ppt/slides/slide1.xml") zip.addDeflated(name, content);
             zip.addDeflatedZeros("ppt/slides/slide1.xml", 1ull << 30);
             zip.finish();
             return t / "bomb.pptx";
         },
         ErrorCode::LimitExceeded},
        {"ZipBombWhoseHeadersClaimOneKilobyte",
         [](const TempDir& t) {
             ZipWriter zip(t / "liar.pptx");
             for (const auto& [name, content] : deckParts(1))
                 if (name != "ppt/presentation.xml") zip.addDeflated(name, content);
             zip.addDeflatedZeros("ppt/presentation.xml", 1ull << 30, 1024);
             zip.finish();
             return t / "liar.pptx";
         },
         ErrorCode::LimitExceeded},
        {"SlideWhoseChecksumIsWrong",
         [](const TempDir& t) {
             ZipWriter zip(t / "crc.pptx");
             for (const auto& [name, content] : deckParts(1))
                 zip.addDeflated(name, content, name == "ppt/slides/slide1.xml" ? 0x00010000u : 0u);
             zip.finish();
             return t / "crc.pptx";
         },
         ErrorCode::DamagedPackage},
        {"SlideCutInHalf",
         [](const TempDir& t) {
             ZipWriter zip(t / "short.pptx");
             for (const auto& [name, content] : deckParts(1))
                 if (name != "ppt/slides/slide1.xml") zip.addDeflated(name, content);
             const std::string slide = deckParts(1).at("ppt/slides/slide1.xml");
             zip.addStored("ppt/slides/slide1.xml", slide.substr(0, slide.size() / 2));
             zip.finish();
             return t / "short.pptx";
         },
         ErrorCode::DamagedXml},
        {"BillionLaughs",
         [](const TempDir& t) {
             std::string laughs = R"(<?xml version="1.0"?><!DOCTYPE lolz [<!ENTITY lol "lol">)";
             laughs += R"(<!ENTITY lol1 "&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;">)";
             for (int i = 2; i <= 9; ++i) {
                 const std::string prev = "&lol" + std::to_string(i - 1) + ";";
                 std::string ten;
                 for (int k = 0; k < 10; ++k) ten += prev;
                 laughs += "<!ENTITY lol" + std::to_string(i) + " \"" + ten + "\">";
             }
             laughs +=
                 R"(]><p:sld xmlns:p="http://schemas.openxmlformats.org/presentationml/2006/main">&lol9;</p:sld>)";
             return deckWith(t / "laughs.pptx", {{"ppt/slides/slide1.xml", laughs}});
         },
         ErrorCode::DamagedXml},
        {"DoctypeOnThePresentationPart",
         [](const TempDir& t) {
             auto parts = deckParts(1);
             std::string& p = parts["ppt/presentation.xml"];
             p = R"(<!DOCTYPE p:presentation SYSTEM "file:///etc/passwd">)" + p;
             writeDeck(t / "doctype.pptx", parts);
             return t / "doctype.pptx";
         },
         ErrorCode::DamagedXml},
        {"RelationshipLeavingThePackage",
         [](const TempDir& t) {
             return deckWith(t / "escape.pptx", {{"ppt/_rels/presentation.xml.rels",
                                                  presentationRelsWithSlideAt("../../../../etc/passwd")}});
         },
         ErrorCode::DamagedPackage},
        {"RelationshipLeavingThePackageEncoded",
         [](const TempDir& t) {
             return deckWith(t / "escape2.pptx", {{"ppt/_rels/presentation.xml.rels",
                                                   presentationRelsWithSlideAt("%2e%2e/%2e%2e/etc/passwd")}});
         },
         ErrorCode::DamagedPackage},
        {"SlideWhoseLayoutIsItself",
         [](const TempDir& t) {
             return deckWith(
                 t / "loop.pptx",
                 {{"ppt/slides/_rels/slide1.xml.rels",
                   kRelsHead +
                       R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/slideLayout" Target="slide1.xml"/></Relationships>)"}});
         },
         ErrorCode::DamagedPackage},
        {"SlideListNamingThePresentation",
         [](const TempDir& t) {
             return deckWith(t / "loop2.pptx", {{"ppt/_rels/presentation.xml.rels",
                                                 presentationRelsWithSlideAt("presentation.xml")}});
         },
         ErrorCode::DamagedPackage},
        {"DuplicateZipEntryNames",
         [](const TempDir& t) {
             ZipWriter zip(t / "twice.pptx");
             const auto parts = deckParts(1);
             for (const auto& [name, content] : parts) zip.addDeflated(name, content);
             zip.addDeflated(
                 "ppt/slides/slide1.xml",
                 "<p:sld xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\"/>");
             zip.finish();
             return t / "twice.pptx";
         },
         ErrorCode::DamagedPackage},
        {"DuplicateNamesDifferingInCase",
         [](const TempDir& t) {
             ZipWriter zip(t / "case.pptx");
             for (const auto& [name, content] : deckParts(1)) zip.addDeflated(name, content);
             zip.addDeflated(
                 "PPT/Slides/Slide1.xml",
                 "<p:sld xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\"/>");
             zip.finish();
             return t / "case.pptx";
         },
         ErrorCode::DamagedPackage},
        {"DuplicateNamesDifferingInSlashes",
         [](const TempDir& t) {
             ZipWriter zip(t / "slashes.pptx");
             for (const auto& [name, content] : deckParts(1)) zip.addDeflated(name, content);
             zip.addDeflated(
                 "ppt\\slides\\slide1.xml",
                 "<p:sld xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\"/>");
             zip.finish();
             return t / "slashes.pptx";
         },
         ErrorCode::DamagedPackage},
        {"FiftyThousandSlides",
         [](const TempDir& t) {
             const auto parts = deckParts(50000);
             // Stored, so that it is quick to write and the zip64 format holds the many entries.
             writeZip(t / "huge.pptx", {parts.begin(), parts.end()}, /*store=*/true);
             return t / "huge.pptx";
         },
         ErrorCode::LimitExceeded},
        {"OleFileWhoseSectorTablesLoop",
         [](const TempDir& t) {
             // Every FAT and DIFAT slot names sector 0, and sector 0 continues the DIFAT chain with itself.
             std::string header(512, '\0');
             header.replace(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
             header[0x18] = 0x3E;  // minor version; major 3 with 512-byte sectors
             header[0x1A] = 3;
             header[0x1C] = '\xFE';
             header[0x1D] = '\xFF';
             header[0x1E] = 9;
             header[0x20] = 6;
             header[0x2C] = 110;  // more FAT sectors than the header holds: the DIFAT chain is read
             header.replace(0x30, 4, "\xFE\xFF\xFF\xFF");  // no directory sector
             header[0x39] = 0x10;                          // mini stream cutoff 4096
             header.replace(0x3C, 4, "\xFE\xFF\xFF\xFF");  // no mini FAT
             header[0x48] = 1;                             // one DIFAT sector, sector 0
             std::ofstream out(t / "loop.ppt", std::ios::binary);
             out.write(header.data(), 512);
             out.write(std::string(512, '\0').data(), 512);
             out.seekp((32 << 20) - 1);
             out.put('\0');
             return t / "loop.ppt";
         },
         // Compound files are read as legacy decks now, so a broken one is a damaged deck.
         ErrorCode::DamagedPackage},
        // 384 MB of holes cost a few kilobytes of disk. Its header alone tells that it is damaged.
        {"SparseOleFileWhoseHeaderIsJunk",
         [](const TempDir& t) {
             return sparseFile(t / "junk.ppt", std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8), 384 << 20);
         },
         ErrorCode::DamagedPackage},
        // One FAT sector reaches 128 sectors: nothing past them can belong to the file's content.
        {"SparseOleFileFarLargerThanItsSectorTablesReach",
         [](const TempDir& t) {
             std::string header(512, '\0');
             header.replace(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
             header[0x18] = 0x3E;
             header[0x1A] = 3;
             header[0x1C] = '\xFE';
             header[0x1D] = '\xFF';
             header[0x1E] = 9;
             header[0x20] = 6;
             header[0x2C] = 1;  // one FAT sector, sector 0
             header[0x30] = 1;  // the directory at sector 1
             header[0x39] = 0x10;
             header.replace(0x3C, 4, "\xFE\xFF\xFF\xFF");
             header.replace(0x44, 4, "\xFE\xFF\xFF\xFF");  // no DIFAT sector
             for (std::size_t slot = 1; slot < 109; ++slot)
                 header.replace(0x4C + 4 * slot, 4, "\xFF\xFF\xFF\xFF");
             return sparseFile(t / "holes.ppt", header, 384 << 20);
         },
         ErrorCode::DamagedPackage},
        {"GroupsNestedAHundredThousandDeep",
         [](const TempDir& t) {
             auto parts = deckParts(1);
             std::string& slide = parts["ppt/slides/slide1.xml"];
             std::string open, close;
             for (int i = 0; i < 100000; ++i) {
                 open += "<p:grpSp>";
                 close += "</p:grpSp>";
             }
             slide.insert(slide.find("</p:spTree>"), open + close);
             // Stored, so that the zip bomb guard does not refuse it first.
             ZipWriter zip(t / "nested.pptx");
             for (const auto& [name, content] : parts) zip.addStored(name, content);
             zip.finish();
             return t / "nested.pptx";
         },
         ErrorCode::LimitExceeded},
        {"DeletedBetweenListingAndOpening",
         [](const TempDir& t) {
             deckWith(t / "gone.pptx", {});
             std::vector<fs::path> listed;
             for (const auto& entry : fs::directory_iterator(t.path())) listed.push_back(entry.path());
             fs::remove(t / "gone.pptx");
             return listed.front();
         },
         ErrorCode::FileNotFound},
    };
}

class MadeBadInput : public ::testing::TestWithParam<BadCase> {};

TEST_P(MadeBadInput, OneClearErrorNoOutputSourceUnchanged) {
    TempDir source, output;
    const fs::path input = GetParam().make(source);
    const std::string before = fs::is_regular_file(input) ? readFile(input) : std::string();

    const ChildOutcome outcome = stampInChild(input, output.path());

    ASSERT_TRUE(outcome.finished) << outcome.message;
    EXPECT_FALSE(outcome.stamped) << "the engine accepted " << input;
    EXPECT_EQ(outcome.errorCode, static_cast<int>(GetParam().expected)) << outcome.message;
    EXPECT_NE(outcome.message.find(input.filename().string()), std::string::npos) << outcome.message;
    EXPECT_EQ(outcome.message.find('\n'), std::string::npos) << "one line: " << outcome.message;
    EXPECT_TRUE(output.names().empty()) << "something was written to the output folder";
    if (fs::is_regular_file(input)) {
        EXPECT_TRUE(readFile(input) == before) << "the source changed";
    }
    EXPECT_LT(outcome.peakRssDeltaKb, kMemoryBoundKb)
        << "peak memory above the parent: " << outcome.peakRssDeltaKb << " KiB";
    RecordProperty("peak_rss_delta_kb", std::to_string(outcome.peakRssDeltaKb));
    std::cout << "[ outcome  ] " << GetParam().name << ": code " << outcome.errorCode << ", "
              << outcome.message << ", peak +" << outcome.peakRssDeltaKb / 1024 << " MiB\n";
}

INSTANTIATE_TEST_SUITE_P(Cases, MadeBadInput, ::testing::ValuesIn(madeCases()),
                         [](const ::testing::TestParamInfo<BadCase>& info) { return info.param.name; });

// The shared corpus's broken decks, with the refusal each must get.
TEST(CorpusBadInput, EveryBrokenDeckOfTheCorpusIsRefusedCleanly) {
    const fs::path bad = trelwick::testing::corpusDir() / "bad";
    TRELWICK_SKIP_WITHOUT_CORPUS(bad);
    const std::map<std::string, ErrorCode> expected = {
        {"openxmlsdk__encrypted_pptx.pptx", ErrorCode::PasswordProtected},
        {"phppresentation__SamplePassword.pptx", ErrorCode::PasswordProtected},
        {"poi__Divino_Revelado.pptx", ErrorCode::DamagedPackage},
        {"poi__clusterfuzz-testcase-minimized-POIXSLFFuzzer-5463285576892416.pptx",
         ErrorCode::DamagedPackage},
        {"poi__clusterfuzz-testcase-minimized-POIXSLFFuzzer-6254434927378432.pptx",
         ErrorCode::DamagedPackage},
        {"pptxgenjs____big-file.pptx", ErrorCode::NotAPresentation},
        {"poi__57272_corrupted_usereditatom.ppt", ErrorCode::DamagedPackage},
        {"poi__PPT95.ppt", ErrorCode::LegacyFormat},
        {"poi__Password_Protected-hello.ppt", ErrorCode::PasswordProtected},
        {"poi__clusterfuzz-testcase-minimized-POIHSLFFuzzer-5962760801091584.ppt", ErrorCode::DamagedPackage},
        {"poi__clusterfuzz-testcase-minimized-POIHSLFFuzzer-6614960949821440.ppt", ErrorCode::DamagedPackage},
        {"poi__cryptoapi-proc2356.ppt", ErrorCode::PasswordProtected},
        {"poi__pp40only.ppt", ErrorCode::LegacyFormat},
    };
    int seen = 0;
    for (const auto& entry : fs::directory_iterator(bad)) {
        const fs::path input = entry.path();
        SCOPED_TRACE(input.string());
        TempDir output;
        const std::string before = readFile(input);
        const ChildOutcome outcome = stampInChild(input, output.path());
        ASSERT_TRUE(outcome.finished) << outcome.message;
        EXPECT_FALSE(outcome.stamped);
        EXPECT_NE(outcome.errorCode, 0) << outcome.message;
        if (auto it = expected.find(input.filename().string()); it != expected.end()) {
            EXPECT_EQ(outcome.errorCode, static_cast<int>(it->second)) << outcome.message;
        }
        EXPECT_NE(outcome.message.find(input.filename().string()), std::string::npos) << outcome.message;
        EXPECT_TRUE(output.names().empty());
        EXPECT_TRUE(readFile(input) == before);
        EXPECT_LT(outcome.peakRssDeltaKb, kMemoryBoundKb);
        std::cout << "[ outcome  ] " << input.filename().string() << ": code " << outcome.errorCode
                  << ", peak +" << outcome.peakRssDeltaKb / 1024 << " MiB\n";
        ++seen;
    }
    EXPECT_GT(seen, 0);
}

// Twenty thousand tiny slides hold under 10 MB of XML, far inside the per-deck XML budget, but each
// parsed or created part (slide, notes page, their relationships) costs memory of its own. Such a deck
// is either refused as over a limit or stamped within the same memory bound as a refused one.
TEST(SizeBadInput, TwentyThousandTinySlidesStayWithinTheMemoryBound) {
    TempDir source, output;
    auto parts = deckParts(20000);
    writeDeck(source / "many.pptx", parts);
    parts.clear();

    const ChildOutcome outcome = stampInChild(source / "many.pptx", output.path());

    ASSERT_TRUE(outcome.finished) << outcome.message;
    if (!outcome.stamped) {
        EXPECT_EQ(outcome.errorCode, static_cast<int>(ErrorCode::LimitExceeded)) << outcome.message;
        EXPECT_TRUE(output.names().empty()) << "something was written to the output folder";
    }
    EXPECT_LT(outcome.peakRssDeltaKb, kMemoryBoundKb)
        << "peak memory above the parent: " << outcome.peakRssDeltaKb << " KiB ("
        << (outcome.stamped ? "stamped" : outcome.message) << ")";
    std::cout << "[ outcome  ] " << (outcome.stamped ? "stamped" : outcome.message) << ", peak +"
              << outcome.peakRssDeltaKb / 1024 << " MiB\n";
}

// A legacy deck is saved from its file as it goes: its pictures are copied a piece at a time, neither
// held whole nor beside the written deck, which is read back from the file for its check.
TEST(SizeBadInput, LegacyDeckOfLargePicturesIsCopiedNotHeld) {
    const fs::path model = trelwick::testing::corpusDir() / "poi__customGeo.ppt";
    TRELWICK_SKIP_WITHOUT_CORPUS(model.parent_path());
    TempDir source, output;
    constexpr std::size_t kPicturesBytes = 96u << 20;
    auto pictures = [] {
        std::string bytes(kPicturesBytes, '\0');
        std::uint32_t x = 1;
        for (char& c : bytes) c = static_cast<char>((x = x * 1664525u + 1013904223u) >> 24);
        return bytes;
    };
    {
        engine::CompoundFile deck = engine::CompoundFile::parse(readFile(model), "model");
        ASSERT_TRUE(deck.hasStream("Pictures"));
        deck.replaceStream("Pictures", pictures());
        writeFile(source / "big.ppt", deck.serialize());
    }

    const ChildOutcome outcome = stampInChild(source / "big.ppt", output.path());

    ASSERT_TRUE(outcome.finished && outcome.stamped) << outcome.message;
    if (!TRELWICK_UNDER_SANITIZER) {
        EXPECT_LT(outcome.peakRssDeltaKb, static_cast<long>(kPicturesBytes / 1024 / 4))
            << "peak memory above the parent: " << outcome.peakRssDeltaKb << " KiB";
    }
    const engine::CompoundFile stamped = engine::CompoundFile::parse(readFile(output / "big.ppt"), "stamped");
    EXPECT_TRUE(stamped.readStream("Pictures") == pictures());
    std::cout << "[ outcome  ] peak +" << outcome.peakRssDeltaKb / 1024 << " MiB\n";
}

// A path beyond PATH_MAX to a deck that exists: reachable only through relative steps.
TEST(PathBadInput, PathLongerThanTheSystemAllows) {
    TempDir source, output;
    const fs::path model = deckWith(source / "model.pptx", {});
    const std::string bytes = readFile(model);
    int dir = ::open(source.path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(dir, 0);
    fs::path full = source.path();
    const std::string step(200, 'd');
    while (full.string().size() <= PATH_MAX) {
        ASSERT_EQ(::mkdirat(dir, step.c_str(), 0755), 0);
        const int next = ::openat(dir, step.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(dir);
        ASSERT_GE(next, 0);
        dir = next;
        full /= step;
    }
    const int fd = ::openat(dir, "deep.pptx", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(fd);
    ::close(dir);
    full /= "deep.pptx";

    const ChildOutcome outcome = stampInChild(full, output.path());

    ASSERT_TRUE(outcome.finished) << outcome.message;
    EXPECT_FALSE(outcome.stamped);
    EXPECT_EQ(outcome.errorCode, static_cast<int>(ErrorCode::ReadFailed)) << outcome.message;
    EXPECT_NE(outcome.message.find("deep.pptx"), std::string::npos);
    EXPECT_TRUE(output.names().empty());
    std::cout << "[ outcome  ] long path: code " << outcome.errorCode << ", "
              << outcome.message.substr(outcome.message.rfind("deep.pptx")) << "\n";
}

// A named pipe that carries a deck's name: opening it for reading would wait for a writer forever.
TEST(PathBadInput, NamedPipeIsRefusedWithoutWaiting) {
    TempDir source, output;
    const fs::path input = source / "pipe.pptx";
    ASSERT_EQ(::mkfifo(input.c_str(), 0644), 0);

    const ChildOutcome outcome = stampInChild(input, output.path());

    ASSERT_TRUE(outcome.finished) << outcome.message;
    EXPECT_FALSE(outcome.stamped);
    EXPECT_EQ(outcome.errorCode, static_cast<int>(ErrorCode::ReadFailed)) << outcome.message;
    EXPECT_NE(outcome.message.find("pipe.pptx"), std::string::npos) << outcome.message;
    EXPECT_TRUE(output.names().empty());
}

TEST(PermissionBadInput, FileWithoutReadPermission) {
    TempDir source, output;
    const fs::path input = deckWith(source / "private.pptx", {});
    const std::string before = readFile(input);
    ::chmod(input.c_str(), 0);
    std::optional<uid_t> runAs;
    if (::geteuid() == 0) {
        // Root reads anything; an ordinary user is what meets this.
        const passwd* nobody = ::getpwnam("nobody");
        if (!nobody) GTEST_SKIP() << "running as root and there is no user nobody to drop to";
        runAs = nobody->pw_uid;
        ::chmod(source.path().c_str(), 0755);
        ::chmod(output.path().c_str(), 0777);
    }
    const ChildOutcome outcome = stampInChild(input, output.path(), runAs);
    ::chmod(input.c_str(), 0644);

    ASSERT_TRUE(outcome.finished) << outcome.message;
    EXPECT_FALSE(outcome.stamped);
    EXPECT_EQ(outcome.errorCode, static_cast<int>(ErrorCode::ReadFailed)) << outcome.message;
    EXPECT_NE(outcome.message.find("private.pptx"), std::string::npos) << outcome.message;
    EXPECT_TRUE(output.names().empty());
    EXPECT_TRUE(readFile(input) == before);
    std::cout << "[ outcome  ] no read permission: code " << outcome.errorCode << ", " << outcome.message
              << "\n";
}

// Locks on Linux are advisory: a program holding flock and fcntl locks does not stop others from
// reading, so the deck is stamped. What must hold: the holder's open file is never altered, even when
// the deck is replaced in its own folder (the new deck is a new file renamed over the old name).
TEST(LockedInput, DeckLockedByAnotherProgramIsReadAndNeverAltered) {
    TempDir source, output;
    const fs::path input = deckWith(source / "locked.pptx", {});
    const std::string before = readFile(input);
    const int held = ::open(input.c_str(), O_RDWR);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    struct flock range {};
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET;
    ASSERT_EQ(::fcntl(held, F_SETLK, &range), 0);

    const ChildOutcome elsewhere = stampInChild(input, output.path());
    EXPECT_TRUE(elsewhere.stamped) << elsewhere.message;
    EXPECT_TRUE(readFile(input) == before);

    const ChildOutcome inPlace = stampInChild(input, source.path());
    EXPECT_TRUE(inPlace.stamped) << inPlace.message;
    std::string seen(before.size() + 1, '\0');
    const ssize_t n = ::pread(held, seen.data(), seen.size(), 0);
    seen.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
    EXPECT_TRUE(seen == before) << "the lock holder's open file changed";
    ::close(held);
    auto stamped = engine::Presentation::open(input);
    EXPECT_TRUE(stamped.element(engine::MasterKind::Slide, engine::Element::Footer).visible);
    EXPECT_EQ(source.names(), std::vector<std::string>{"locked.pptx"});
}

// The address space this process has mapped, in KiB.
long mappedKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmSize:", 0) == 0) return std::stol(line.substr(7));
    return 0;
}

// Memory running out while the stamp builds the pages it adds (a notes page for each of 3,000 slides)
// must be told as that: it was once taken for a deck whose relationships point at the wrong part.
TEST(MemoryRunningOut, WhileNotesPagesAreAddedIsToldAsThat) {
    if (TRELWICK_UNDER_SANITIZER)
        GTEST_SKIP() << "a sanitizer maps far more address space than these caps leave";
    TempDir dir;
    writeDeck(dir / "deck.pptx", deckParts(3000));
    const long mapped = mappedKb();
    ASSERT_GT(mapped, 0);
    for (long extraMb = 48; extraMb <= 480; extraMb += 48) {
        const fs::path out = dir / ("out" + std::to_string(extraMb));
        fs::create_directories(out);
        const fs::path said = dir / ("said" + std::to_string(extraMb));
        const pid_t pid = ::fork();
        if (pid == 0) {
            const rlim_t cap = static_cast<rlim_t>(mapped + extraMb * 1024) * 1024;
            const rlimit limit{cap, cap};
            ::setrlimit(RLIMIT_AS, &limit);
            int status = 0;
            try {
                engine::Presentation deck = engine::Presentation::open(dir / "deck.pptx");
                deck.setText(engine::MasterKind::Notes, engine::Element::Footer, "Notes footer");
                deck.setVisible(engine::MasterKind::Notes, engine::Element::Footer, true);
                deck.saveAs(out / "deck.pptx");
            } catch (const std::bad_alloc&) {
                status = 3;
            } catch (const std::exception& e) {
                std::ofstream(said) << e.what();
                status = 4;
            }
            ::_exit(status);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status))
            << "ended by signal " << WTERMSIG(status) << " with " << extraMb << " MB more";
        EXPECT_NE(WEXITSTATUS(status), 4) << extraMb << " MB more: " << readFile(said);
        if (WEXITSTATUS(status) == 0) {
            EXPECT_TRUE(fs::exists(out / "deck.pptx"));
        }
    }
}

}  // namespace
}  // namespace trelwick::reliability
