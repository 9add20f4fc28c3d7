// The small-part deflater: whatever it is given, a standard inflater must give the same bytes back.
#include <gtest/gtest.h>
#include <libdeflate.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "FixedDeflate.h"
#include "common/Corpus.h"

namespace trelwick::engine::test {
namespace {

std::string inflate(const std::string& deflated, std::size_t size) {
    const std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)> d(
        libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
    std::string out(size, '\0');
    std::size_t got = 0;
    const libdeflate_result r = libdeflate_deflate_decompress(d.get(), deflated.data(), deflated.size(),
                                                              out.data(), out.size(), &got);
    EXPECT_EQ(r, LIBDEFLATE_SUCCESS);
    out.resize(got);
    return out;
}

// zlib's inflate of a raw stream; it must end exactly at the block's end, with nothing left over.
std::string inflateWithZlib(const std::string& deflated, std::size_t size) {
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) {
        ADD_FAILURE() << "inflateInit2 failed";
        return {};
    }
    std::string out(size + 1, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(deflated.data()));
    z.avail_in = static_cast<uInt>(deflated.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int r = inflate(&z, Z_FINISH);
    EXPECT_EQ(r, Z_STREAM_END) << (z.msg ? z.msg : "");
    EXPECT_EQ(z.avail_in, 0u) << "bytes after the final block";
    out.resize(z.total_out);
    inflateEnd(&z);
    return out;
}

// Both inflaters give the input back, and the output keeps within the bound of all literals.
void expectRoundTrip(const std::string& in) {
    const std::string deflated = deflateFixed(in);
    EXPECT_LE(deflated.size(), in.size() + in.size() / 8 + 8);
    EXPECT_EQ(inflate(deflated, in.size()), in);
    EXPECT_EQ(inflateWithZlib(deflated, in.size()), in);
}

std::string randomBytes(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng() & 0xFF);
    return s;
}

std::string xmlLike(std::size_t n) {
    std::string s = "<?xml version=\"1.0\"?><p:sld xmlns:p=\"urn:p\"><p:cSld><p:spTree>";
    for (int i = 0; s.size() < n; ++i)
        s += "<p:sp><p:nvSpPr><p:cNvPr id=\"" + std::to_string(i) + "\" name=\"Shape " + std::to_string(i) +
             "\"/></p:nvSpPr><a:p><a:r><a:t>Text " + std::to_string(i * 7919) + "</a:t></a:r></a:p></p:sp>";
    s.resize(n);
    return s;
}

struct Input {
    const char* name;
    std::string bytes;
};

class FixedDeflateRoundTrip : public ::testing::TestWithParam<Input> {};

TEST_P(FixedDeflateRoundTrip, InflatesToTheSameBytesWithinTheBound) {
    expectRoundTrip(GetParam().bytes);
}

// Random bytes of 144 and above: every literal takes nine bits.
std::string highBytes(std::size_t n) {
    std::string s = randomBytes(n, 11);
    for (char& c : s) c = static_cast<char>(144 + static_cast<unsigned char>(c) % 112);
    return s;
}

std::string repeated(const std::string& unit, std::size_t n) {
    std::string s;
    while (s.size() < n) s += unit;
    s.resize(n);
    return s;
}

std::string everyByteValue() {
    std::string s;
    for (int round = 0; round < 3; ++round)
        for (int b = 0; b < 256; ++b) s += static_cast<char>(b);
    return s;
}

// The tail repeats the head, so its match reaches back across almost the whole window.
std::string farMatch() {
    std::string s = randomBytes(kFixedDeflateMaxInput - 400, 7);
    s += s.substr(0, 400);
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, FixedDeflateRoundTrip,
    ::testing::Values(Input{"Empty", ""}, Input{"OneByte", "x"}, Input{"ShorterThanAMatch", "abc"},
                      Input{"FourEqualBytes", "aaaa"}, Input{"RunLongerThanOneMatch", std::string(1000, 'a')},
                      Input{"LargestRun", std::string(kFixedDeflateMaxInput, '\0')},
                      Input{"EveryByteValue", everyByteValue()},
                      Input{"LargestIncompressible", randomBytes(kFixedDeflateMaxInput, 1)},
                      Input{"LargestHighBytes", highBytes(kFixedDeflateMaxInput)},
                      Input{"LargestRepeatedPattern", repeated("<a:t>x</a:t>", kFixedDeflateMaxInput)},
                      Input{"MatchesToTheLastByte", repeated("0123456789abcdef", kFixedDeflateMaxInput - 3)},
                      Input{"MatchAcrossTheWindow", farMatch()}, Input{"Xml", xmlLike(20000)},
                      Input{"XmlOfTheLargestSize", xmlLike(kFixedDeflateMaxInput)}),
    [](const ::testing::TestParamInfo<Input>& info) { return std::string(info.param.name); });

TEST(FixedDeflate, MatchesOfEveryLengthAndManyDistances) {
    // A growing run of each length after a random gap exercises every length and distance code.
    std::mt19937 rng(3);
    std::string in;
    const std::string source = randomBytes(300, 5);
    for (int length = 4; length <= 258 && in.size() < kFixedDeflateMaxInput - 600; length += 3) {
        in += randomBytes(rng() % 200, static_cast<unsigned>(length));
        in += source.substr(0, static_cast<std::size_t>(length));
    }
    expectRoundTrip(in);
}

// Literals and matches fill the bit buffer to every possible number of bits before it is stored;
// every size up to 300 and the largest ones catch a last store that is short or one too many.
TEST(FixedDeflate, EverySmallSizeAndTheLargest) {
    std::vector<std::size_t> sizes;
    for (std::size_t n = 0; n <= 300; ++n) sizes.push_back(n);
    for (std::size_t n = kFixedDeflateMaxInput - 20; n <= kFixedDeflateMaxInput; ++n) sizes.push_back(n);
    for (const std::size_t n : sizes) {
        SCOPED_TRACE("size " + std::to_string(n));
        expectRoundTrip(randomBytes(n, static_cast<unsigned>(n)));
        expectRoundTrip(highBytes(n));
        expectRoundTrip(xmlLike(n));
        expectRoundTrip(std::string(n, 'a'));
        expectRoundTrip(repeated("ab", n));
        expectRoundTrip(repeated("abcdefg", n));
    }
}

// Runs just short of, at and past the longest match, then the input ends inside or right after one.
TEST(FixedDeflate, RunsAroundTheLongestMatch) {
    for (std::size_t run = 250; run <= 270; ++run)
        for (const std::size_t extra :
             {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{4},
              std::size_t{255}, std::size_t{256}, std::size_t{257}, std::size_t{258}, std::size_t{259},
              std::size_t{516}, std::size_t{517}}) {
            SCOPED_TRACE(std::to_string(run) + " + " + std::to_string(extra));
            expectRoundTrip(randomBytes(7, 2) + std::string(run + extra, 'z'));
            expectRoundTrip(std::string(run, 'z') + randomBytes(extra, 9));
        }
}

// A copy of earlier bytes closes the input, so the last match ends on its last byte; a few literals
// after a match end it otherwise.
TEST(FixedDeflate, MatchesAtTheVeryEnd) {
    const std::string head = randomBytes(200, 4);
    for (std::size_t tail = 1; tail <= 40; ++tail)
        for (std::size_t after = 0; after <= 5; ++after) {
            SCOPED_TRACE(std::to_string(tail) + " then " + std::to_string(after));
            expectRoundTrip(head + head.substr(50, tail) + randomBytes(after, 6));
        }
}

TEST(FixedDeflate, CompressesMarkup) {
    const std::string in = xmlLike(8000);
    EXPECT_LT(deflateFixed(in).size(), in.size() / 3);
}

std::vector<std::filesystem::path> corpusDecks(const std::filesystem::path& root) {
    static const std::set<std::string> family = {".pptx", ".pptm", ".potx", ".potm", ".ppsx", ".ppsm"};
    std::vector<std::filesystem::path> decks;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        if (entry.is_regular_file() && family.count(entry.path().extension().string()))
            decks.push_back(entry.path());
    std::sort(decks.begin(), decks.end());
    return decks;
}

// What the deflater gets in practice: the XML of real decks, every part small enough for it.
TEST(FixedDeflate, EveryXmlPartOfTheCorpusRoundTrips) {
    // All of the corpus, not only its dev folder.
    const std::filesystem::path corpus = trelwick::testing::corpusDir().parent_path();
    TRELWICK_SKIP_WITHOUT_CORPUS(corpus);
    std::size_t parts = 0;
    for (const auto& deck : corpusDecks(corpus)) {
        int error = 0;
        zip_t* zip = zip_open(deck.string().c_str(), ZIP_RDONLY, &error);
        if (!zip) continue;  // encrypted or broken decks among the bad ones
        const std::unique_ptr<zip_t, int (*)(zip_t*)> closer(zip, zip_close);
        for (zip_int64_t k = 0; k < zip_get_num_entries(zip, 0); ++k) {
            const char* raw = zip_get_name(zip, static_cast<zip_uint64_t>(k), 0);
            if (!raw) continue;
            const std::string name = raw;
            zip_stat_t st;
            if (!(name.ends_with(".xml") || name.ends_with(".rels")) ||
                zip_stat_index(zip, static_cast<zip_uint64_t>(k), 0, &st) != 0 ||
                st.size > kFixedDeflateMaxInput)
                continue;
            zip_file_t* file = zip_fopen_index(zip, static_cast<zip_uint64_t>(k), 0);
            if (!file) continue;
            std::string xml(st.size, '\0');
            const zip_int64_t got = zip_fread(file, xml.data(), xml.size());
            zip_fclose(file);
            if (got != static_cast<zip_int64_t>(xml.size())) continue;
            SCOPED_TRACE(deck.filename().string() + ": " + name);
            expectRoundTrip(xml);
            ++parts;
        }
    }
    if (parts == 0) GTEST_SKIP() << "no readable deck in " << corpus << "; nothing to check";
}

TEST(FixedDeflate, RefusesInputsPastTheWindow) {
    EXPECT_THROW(deflateFixed(std::string(kFixedDeflateMaxInput + 1, 'a')), std::length_error);
}

}  // namespace
}  // namespace trelwick::engine::test
