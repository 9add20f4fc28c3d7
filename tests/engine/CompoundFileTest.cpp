#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>

#include "TestCompoundFile.h"
#include "TestDeck.h"
#include "cfb/CompoundFile.h"
#include "common/Corpus.h"
#include "trelwick/engine.h"

namespace trelwick::engine::test {
namespace {

const std::filesystem::path kCorpus = trelwick::testing::corpusDir();

std::string pattern(std::size_t size, unsigned seed) {
    std::string s(size, '\0');
    std::minstd_rand gen(seed);
    for (char& c : s) c = static_cast<char>(gen() & 0xFF);
    return s;
}

std::size_t sectorSizeOf(const std::string& file) {
    return std::size_t{1} << static_cast<std::uint8_t>(file[0x1E]);
}

// Directory entries must be equal apart from start sector and size (0x74..0x7F).
void expectSameEntries(const std::string& before, const std::string& after) {
    const auto a = rawDirectory(before);
    const auto b = rawDirectory(after);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i)
        EXPECT_EQ(a[i].substr(0, 0x74), b[i].substr(0, 0x74)) << "entry " << i;
}

void expectSameStreams(const CompoundFile& a, const CompoundFile& b) {
    ASSERT_EQ(a.streamPaths(), b.streamPaths());
    EXPECT_EQ(a.storagePaths(), b.storagePaths());
    for (const std::string& path : a.streamPaths()) EXPECT_EQ(a.readStream(path), b.readStream(path)) << path;
}

std::vector<std::filesystem::path> corpusPpts() {
    std::vector<std::filesystem::path> files;
    for (const auto& folder : {kCorpus, kCorpus / "bad"})
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            if (entry.path().extension() == ".ppt") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

TEST(CompoundFileTest, CorpusFilesRewriteWithEveryStreamAndEntryKept) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus / "bad");
    int rewritten = 0;
    for (const auto& file : corpusPpts()) {
        SCOPED_TRACE(file.filename().string());
        const std::string bytes = readFile(file);
        std::optional<CompoundFile> cf;
        try {
            cf = CompoundFile::parse(bytes, file.string());
        } catch (const Error& e) {
            // Only the fuzzer-made files of the corpus have broken containers.
            EXPECT_NE(file.filename().string().find("clusterfuzz"), std::string::npos) << e.what();
            EXPECT_EQ(e.code(), ErrorCode::DamagedPackage);
            continue;
        }
        const std::string out = cf->serialize();
        EXPECT_EQ(out, cf->serialize());
        EXPECT_EQ(out.size() % sectorSizeOf(bytes), 0u);
        EXPECT_EQ(out.substr(0x1A, 6), bytes.substr(0x1A, 6));  // version, byte order, sector shift
        const CompoundFile again = CompoundFile::parse(out, "rewritten");
        expectSameStreams(*cf, again);
        expectSameEntries(bytes, out);
        EXPECT_EQ(again.serialize(), out);
        ++rewritten;
    }
    EXPECT_GE(rewritten, 20);
}

struct Resize {
    const char* name;
    std::size_t from;
    std::size_t to;
};

class ResizeTest : public ::testing::TestWithParam<std::tuple<int, Resize>> {};

TEST_P(ResizeTest, ReplacedStreamReadsBackAndOthersStay) {
    const auto [major, resize] = GetParam();
    const std::vector<CfbStream> streams{{"Current User", pattern(60, 1)},
                                         {"PowerPoint Document", pattern(resize.from, 2)},
                                         {"Pictures", pattern(6000, 3)},
                                         {"Macros/VBA/dir", pattern(700, 4)}};
    const std::string original = buildCompoundFile(major, streams);
    CompoundFile cf = CompoundFile::parse(original, "deck.ppt");
    const std::string replacement = pattern(resize.to, 5);
    cf.replaceStream("PowerPoint Document", replacement);
    EXPECT_EQ(cf.streamSize("PowerPoint Document"), resize.to);
    EXPECT_EQ(cf.readStream("PowerPoint Document"), replacement);

    const std::string out = cf.serialize();
    EXPECT_NE(out, CompoundFile::parse(original, "deck.ppt").serialize());
    EXPECT_EQ(out.size() % sectorSizeOf(original), 0u);
    const CompoundFile again = CompoundFile::parse(out, "out.ppt");
    EXPECT_EQ(again.majorVersion(), major);
    if (major == 3) {
        EXPECT_EQ(get32(out, 0x28), 0u);  // the directory's sector count, kept by version 4 only
    }
    for (const CfbStream& s : streams)
        EXPECT_EQ(again.readStream(s.path), s.path == "PowerPoint Document" ? replacement : s.content)
            << s.path;
    expectSameEntries(original, out);
    // Streams below 4096 bytes live in the mini stream, in 64-byte sectors.
    std::size_t miniBytes = 0;
    for (std::size_t size : {std::size_t{60}, resize.to, std::size_t{6000}, std::size_t{700}})
        if (size < 4096) miniBytes += (size + 63) / 64 * 64;
    EXPECT_EQ(get32(rawDirectory(out)[0], 0x78), miniBytes);
    EXPECT_EQ(again.serialize(), out);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ResizeTest,
                         ::testing::Combine(::testing::Values(3, 4),
                                            ::testing::Values(Resize{"MiniGrowsToRegular", 100, 5000},
                                                              Resize{"RegularShrinksToMini", 5000, 100},
                                                              Resize{"JustBelowCutoffToCutoff", 4095, 4096},
                                                              Resize{"CutoffToJustBelow", 4096, 4095},
                                                              Resize{"EmptyToMini", 0, 64},
                                                              Resize{"MiniToEmpty", 64, 0},
                                                              Resize{"RegularToEmpty", 9000, 0},
                                                              Resize{"MiniGrowsWithinMini", 1000, 3000},
                                                              Resize{"RegularGrows", 5000, 70001})),
                         [](const auto& info) {
                             // Appended rather than "V" + std::to_string(...): GCC 12 warns falsely
                             // (-Wrestrict) on that.
                             std::string name = "V";
                             name += std::to_string(std::get<0>(info.param));
                             name += "_";
                             name += std::get<1>(info.param).name;
                             return name;
                         });

// Around 109 FAT sectors the header's DIFAT slots run out and DIFAT sectors start.
class FatSizeTest : public ::testing::TestWithParam<std::size_t> {};

TEST_P(FatSizeTest, FatCoversEveryWrittenSectorAndNoMore) {
    const std::size_t sectors = GetParam();
    CompoundFile cf = CompoundFile::parse(
        buildCompoundFile(3, {{"Current User", pattern(60, 1)}, {"PowerPoint Document", pattern(9000, 2)}}),
        "big.ppt");
    const std::string content = pattern(sectors * 512 - 7, 3);
    cf.replaceStream("PowerPoint Document", content);
    const std::string out = cf.serialize();
    const std::size_t total = out.size() / 512 - 1;
    const std::uint32_t fat = get32(out, 0x2C);
    const std::uint32_t difat = get32(out, 0x48);
    EXPECT_GE(fat * 128u, total);
    EXPECT_LT((fat - 1) * 128u, total);
    EXPECT_EQ(difat, fat > 109 ? (fat - 109 + 126) / 127 : 0u);
    if (difat == 0) {
        EXPECT_EQ(get32(out, 0x44), 0xFFFFFFFEu);
    }
    const CompoundFile again = CompoundFile::parse(out, "out.ppt");
    EXPECT_EQ(again.readStream("PowerPoint Document"), content);
    EXPECT_EQ(again.readStream("Current User"), pattern(60, 1));
    EXPECT_EQ(again.serialize(), out);
}

// 13,952 sectors fill 109 FAT sectors at 512 bytes; the last case needs two DIFAT sectors.
INSTANTIATE_TEST_SUITE_P(AroundTheDifat, FatSizeTest,
                         ::testing::Values(13800, 13840, 13841, 13842, 13900, 13952, 14100, 31000),
                         [](const auto& info) { return "Sectors" + std::to_string(info.param); });

TEST(CompoundFileTest, Version4KeepsItsSectorSize) {
    std::vector<CfbStream> streams{{"Current User", pattern(60, 1)},
                                   {"PowerPoint Document", pattern(20000, 2)}};
    for (int i = 0; i < 40; ++i)
        streams.push_back({"Storage/S" + std::to_string(i), pattern(100 + 50 * i, 10 + i)});
    const std::string original = buildCompoundFile(4, streams);
    const CompoundFile cf = CompoundFile::parse(original, "v4.ppt");
    EXPECT_EQ(cf.majorVersion(), 4);
    const std::string out = cf.serialize();
    EXPECT_EQ(out.size() % 4096, 0u);
    EXPECT_EQ(out[0x1A], 4);
    EXPECT_EQ(out[0x1E], 12);
    EXPECT_EQ(get32(out, 0x28), 2u);  // 43 entries of 128 bytes; counted in version 4 only
    EXPECT_EQ(out.substr(512, 4096 - 512), std::string(4096 - 512, '\0'));  // the header sector's padding
    const CompoundFile again = CompoundFile::parse(out, "out.ppt");
    expectSameStreams(cf, again);
    expectSameEntries(original, out);
    for (const CfbStream& s : streams) EXPECT_EQ(again.readStream(s.path), s.content) << s.path;
}

TEST(CompoundFileTest, PathsFollowTheDirectoryOrder) {
    const CompoundFile cf = CompoundFile::parse(buildCompoundFile(3, {{"\x05SummaryInformation", "abc"},
                                                                      {"Macros/VBA/dir", "d"},
                                                                      {"Macros/VBA/Module1", ""},
                                                                      {"Macros/PROJECT", "p"},
                                                                      {"R\xE9sum\xE9", "r"}}),
                                                "names.ppt");
    EXPECT_EQ(cf.streamPaths(),
              (std::vector<std::string>{"\x05SummaryInformation", "Macros/VBA/dir", "Macros/VBA/Module1",
                                        "Macros/PROJECT", "R\xC3\xA9sum\xC3\xA9"}));
    EXPECT_EQ(cf.storagePaths(), (std::vector<std::string>{"Macros", "Macros/VBA"}));
    // Looked up without case, as readers of compound files do.
    struct Lookup {
        const char* path;
        bool stream;
        bool storage;
    };
    for (const Lookup& l : {Lookup{"Macros", false, true}, Lookup{"Macros/VBA", false, true},
                            Lookup{"Macros/VBA/dir", true, false}, Lookup{"VBA/dir", false, false},
                            Lookup{"macros/vba/dir", true, false}, Lookup{"MACROS", false, true},
                            Lookup{"", false, false}, Lookup{"Root Entry", false, false}}) {
        EXPECT_EQ(cf.hasStream(l.path), l.stream) << l.path;
        EXPECT_EQ(cf.hasStorage(l.path), l.storage) << l.path;
    }
    EXPECT_EQ(cf.readStream("Macros/VBA/Module1"), "");
    EXPECT_EQ(cf.streamSize("\x05SummaryInformation"), 3u);
}

TEST(CompoundFileTest, MissingStreamsAreNamedInTheError) {
    CompoundFile cf = CompoundFile::parse(buildCompoundFile(3, {{"Macros/VBA/dir", "d"}}), "deck.ppt");
    const std::vector<std::pair<const char*, std::function<void()>>> calls{
        {"read", [&] { cf.readStream("Nope"); }},
        {"size", [&] { cf.streamSize("Nope"); }},
        {"replace", [&] { cf.replaceStream("Nope", "x"); }},
        {"storage read as stream", [&] { cf.readStream("Macros"); }}};
    for (const auto& [name, call] : calls) {
        try {
            call();
            ADD_FAILURE() << name << ": no error";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), ErrorCode::DamagedPackage) << name;
            EXPECT_EQ(e.file(), "deck.ppt") << name;
            EXPECT_FALSE(e.part().empty()) << name;
        }
    }
}

TEST(CompoundFileTest, SameInputAndReplacementsGiveSameBytes) {
    const std::string original =
        buildCompoundFile(3, {{"A", pattern(5000, 1)}, {"B", pattern(300, 2)}, {"C", pattern(7000, 3)}});
    auto stamped = [&] {
        CompoundFile cf = CompoundFile::parse(original, "x.ppt");
        cf.replaceStream("B", pattern(9000, 4));
        cf.replaceStream("A", pattern(10, 5));
        cf.replaceStream("B", pattern(8000, 6));  // the last replacement wins
        return cf.serialize();
    };
    const std::string first = stamped();
    EXPECT_EQ(first, stamped());
    EXPECT_EQ(CompoundFile::parse(first, "x.ppt").readStream("B"), pattern(8000, 6));
}

TEST(CompoundFileTest, Version3HighSizeDwordIsIgnoredAndWrittenAsZero) {
    std::string file = buildCompoundFile(3, {{"A", pattern(5000, 1)}, {"B", pattern(300, 2)}});
    const std::size_t dir = sectorOffset(get32(file, 0x30), 512);
    set32(file, dir + 128 + 0x7C, 0xDEADBEEF);
    set32(file, dir + 256 + 0x7C, 0x1);
    const CompoundFile cf = CompoundFile::parse(file, "x.ppt");
    EXPECT_EQ(cf.readStream("A"), pattern(5000, 1));
    EXPECT_EQ(cf.readStream("B"), pattern(300, 2));
    const auto entries = rawDirectory(cf.serialize());
    EXPECT_EQ(get32(entries[1], 0x7C), 0u);
    EXPECT_EQ(get32(entries[2], 0x7C), 0u);
}

TEST(CompoundFileTest, ShortLastSectorIsReadWhenTheContentIsWhole) {
    // "A" is laid out last: 5000 bytes fill 9 sectors and 392 bytes of a tenth.
    const std::string file = buildCompoundFile(3, {{"A", pattern(5000, 1)}});
    ASSERT_EQ(file.size() % 512, 0u);
    EXPECT_EQ(CompoundFile::parse(file.substr(0, file.size() - 120), "x.ppt").readStream("A"),
              pattern(5000, 1));
    EXPECT_EQ(CompoundFile::parse(file + "trailing", "x.ppt").serialize(),
              CompoundFile::parse(file, "x.ppt").serialize());
    try {
        CompoundFile::parse(file.substr(0, file.size() - 121), "x.ppt");
        ADD_FAILURE() << "a stream cut by the end of the file was accepted";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), ErrorCode::DamagedPackage);
        EXPECT_EQ(e.part(), "A");
    }
}

// Hostile containers, each a valid file with one thing broken.
struct Hostile {
    const char* name;
    std::function<std::string()> make;
    const char* says;  // part of the message
};

std::size_t entryAt(const std::string& file, std::uint32_t index) {
    return sectorOffset(get32(file, 0x30), sectorSizeOf(file)) + 128 * index;
}

// Entries: 0 root, 1 "Current User" (mini), 2 "PowerPoint Document", 3 "Pictures", 4 "Small" (mini).
std::string base(int major = 3) {
    return buildCompoundFile(major, {{"Current User", pattern(60, 1)},
                                     {"PowerPoint Document", pattern(5000, 2)},
                                     {"Pictures", pattern(9000, 3)},
                                     {"Small", pattern(200, 4)}});
}

template <typename Edit>
std::function<std::string()> edited(Edit edit, int major = 3) {
    return [edit, major] {
        std::string file = base(major);
        edit(file);
        return file;
    };
}

// More FAT sectors than the header's 109 slots, the rest listed by a DIFAT sector at 200 whose next
// pointer is given.
std::string withDifat(std::uint32_t nextDifat) {
    std::string file = buildCompoundFile(3, {{"Pictures", pattern(200000, 7)}});
    for (std::uint32_t k = get32(file, 0x2C); k < 109; ++k) set32(file, 0x4C + 4 * k, k);
    set32(file, 0x2C, 300);
    set32(file, 0x44, 200);
    set32(file, 0x48, 2);
    for (std::uint32_t k = 0; k < 127; ++k) set32(file, sectorOffset(200, 512) + 4 * k, 201 + k);
    set32(file, sectorOffset(200, 512) + 508, nextDifat);
    return file;
}

std::vector<Hostile> hostileCases() {
    std::string deep;
    for (int i = 0; i < 130; ++i) deep += "a/";
    return {
        {"Empty", [] { return std::string(); }, "header is cut off"},
        {"TruncatedHeader", [] { return base().substr(0, 100); }, "header is cut off"},
        {"HeaderOnly", [] { return base().substr(0, 512); }, "more than it holds"},
        {"NoSignature", edited([](std::string& f) { f[0] = 'X'; }), "signature"},
        {"SectorShift10", edited([](std::string& f) { f[0x1E] = 10; }), "sector shift 10"},
        {"Version3With4096ByteSectors", edited([](std::string& f) { f[0x1E] = 12; }), "version 3"},
        {"MiniCutoffChanged", edited([](std::string& f) { set32(f, 0x38, 8192); }), "cutoff"},
        {"FatChainLoops", edited([](std::string& f) {
             const std::uint32_t start = get32(f, entryAt(f, 3) + 0x74);
             set32(f, fatEntryOffset(f, start + 2), start);
         }),
         "loops or shares sector"},
        {"FatChainEndsEarly", edited([](std::string& f) {
             set32(f, fatEntryOffset(f, get32(f, entryAt(f, 2) + 0x74)), 0xFFFFFFFE);
         }),
         "ends too early"},
        {"SectorIdOutOfRange", edited([](std::string& f) { set32(f, entryAt(f, 2) + 0x74, 100000); }),
         "past the end of the file"},
        {"SectorIdSpecialValue", edited([](std::string& f) { set32(f, entryAt(f, 3) + 0x74, 0xFFFFFFFD); }),
         "past the end of the file"},
        {"DirectoryChainLoops",
         edited([](std::string& f) { set32(f, fatEntryOffset(f, get32(f, 0x30) + 1), get32(f, 0x30)); }),
         "loops or shares sector"},
        {"DirectoryTreeLoops", edited([](std::string& f) { set32(f, entryAt(f, 2) + 0x48, 1); }),
         "directory tree loops"},
        {"DirectoryTreeLoopsToRoot", edited([](std::string& f) { set32(f, entryAt(f, 4) + 0x44, 0); }),
         "directory tree loops"},
        {"DirectoryLinksMissingEntry", edited([](std::string& f) { set32(f, entryAt(f, 1) + 0x44, 500); }),
         "does not exist"},
        {"FreeEntryInTree", edited([](std::string& f) { f[entryAt(f, 4) + 0x42] = 0; }),
         "neither stream nor storage"},
        {"StreamWithChildren", edited([](std::string& f) { set32(f, entryAt(f, 1) + 0x4C, 4); }),
         "has children"},
        {"RootNotFirst", edited([](std::string& f) { f[entryAt(f, 0) + 0x42] = 1; }), "not the root"},
        {"StoragesNestTooDeep",
         [deep] {
             return buildCompoundFile(3, {{deep + "s", "x"}});
         },
         "nest more than"},
        {"PathsOutgrowTheDirectory",
         [] {
             std::string prefix;
             for (int i = 0; i < 120; ++i) prefix += std::string(31, static_cast<char>('a' + i % 26)) + "/";
             std::vector<CfbStream> streams;
             for (int i = 0; i < 400; ++i) streams.push_back({prefix + std::to_string(i), ""});
             return buildCompoundFile(3, streams);
         },
         "too many entries too deep"},
        {"HugeStreamSize", edited([](std::string& f) { set32(f, entryAt(f, 2) + 0x78, 0xFFFFFFF0); }),
         "larger than the file"},
        {"HugeStreamSizeVersion4",
         edited([](std::string& f) { set32(f, entryAt(f, 2) + 0x7C, 0x40000000); }, 4),
         "larger than the file"},
        {"HugeMiniStreamSize", edited([](std::string& f) { set32(f, entryAt(f, 0) + 0x78, 0x7FFFFFFF); }),
         "mini stream is larger"},
        {"HugeFatCount", edited([](std::string& f) { set32(f, 0x2C, 0x10000000); }),
         "FAT sectors, more than"},
        {"HugeDifatCount", edited([](std::string& f) { set32(f, 0x48, 0x10000000); }),
         "DIFAT sectors, more than"},
        {"FatSectorListedTwice", edited([](std::string& f) {
             set32(f, 0x2C, 2);
             set32(f, 0x50, 0);
         }),
         "loops or shares sector 0"},
        {"DifatLoops", [] { return withDifat(200); }, "DIFAT chain loops"},
        {"DifatEndsEarly", [] { return withDifat(0xFFFFFFFE); }, "fewer FAT sectors than declared"},
        {"MiniChainLoops",
         edited([](std::string& f) { set32(f, sectorOffset(get32(f, 0x3C), 512) + 4 * 2, 1); }),
         "loops or shares mini sector"},
        {"MiniSectorPastMiniStream", edited([](std::string& f) { set32(f, entryAt(f, 4) + 0x74, 50); }),
         "past the mini stream"},
        {"MiniFatMissing", edited([](std::string& f) { set32(f, 0x3C, 0xFFFFFFFE); }),
         "past the mini stream"},
        // Names compare without case: which of the two a reader opens is its own choice, and only
        // one would be stamped.
        {"TwoStreamsOfOneName", edited([](std::string& f) {
             const std::u16string name = u"POWERPOINT DOCUMENT";
             const std::size_t entry = entryAt(f, 3);
             for (std::size_t i = 0; i < 64; ++i) f[entry + i] = '\0';
             for (std::size_t i = 0; i < name.size(); ++i) f[entry + 2 * i] = static_cast<char>(name[i]);
             f[entry + 0x40] = static_cast<char>(2 * (name.size() + 1));
         }),
         "twice"},
        {"StreamCutOffByEndOfFile", [] { return base().substr(0, base().size() - 1000); },
         "PowerPoint Document"},
    };
}

class HostileTest : public ::testing::TestWithParam<Hostile> {};

TEST_P(HostileTest, IsRefusedAsDamaged) {
    const std::string bytes = GetParam().make();
    try {
        CompoundFile::parse(bytes, "hostile.ppt");
        ADD_FAILURE() << "accepted";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), ErrorCode::DamagedPackage) << e.what();
        EXPECT_EQ(e.file(), "hostile.ppt");
        EXPECT_NE(std::string(e.what()).find(GetParam().says), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Containers, HostileTest, ::testing::ValuesIn(hostileCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CompoundFileTest, TheUnbrokenBaseOfTheHostileCasesParses) {
    for (int major : {3, 4}) {
        const CompoundFile cf = CompoundFile::parse(base(major), "base.ppt");
        EXPECT_EQ(cf.readStream("Small"), pattern(200, 4));
        EXPECT_EQ(cf.readStream("Pictures"), pattern(9000, 3));
    }
}

// Random damage to the header, tables and directory: every outcome is a parsed file that writes and
// reads back, or a DamagedPackage error.
TEST(CompoundFileTest, RandomDamageNeverCrashes) {
    std::mt19937 gen(20261207);
    int accepted = 0;
    int refused = 0;
    for (int major : {3, 4}) {
        const std::string good = base(major);
        const std::size_t reach = std::min<std::size_t>(good.size(), 8 * sectorSizeOf(good));
        for (int round = 0; round < 1500; ++round) {
            std::string bytes = good;
            const int flips = 1 + static_cast<int>(gen() % 6);
            for (int i = 0; i < flips; ++i) {
                const std::size_t at = gen() % reach;
                bytes[at] = static_cast<char>(gen() % 3 == 0 ? 0xFF : gen() & 0xFF);
            }
            if (gen() % 10 == 0) bytes.resize(gen() % bytes.size());
            try {
                const CompoundFile cf = CompoundFile::parse(bytes, "random.ppt");
                const CompoundFile again = CompoundFile::parse(cf.serialize(), "again.ppt");
                expectSameStreams(cf, again);
                ++accepted;
            } catch (const Error& e) {
                ASSERT_EQ(e.code(), ErrorCode::DamagedPackage) << e.what();
                ++refused;
            }
        }
    }
    EXPECT_GT(accepted, 0);
    EXPECT_GT(refused, 0);
}

}  // namespace
}  // namespace trelwick::engine::test
