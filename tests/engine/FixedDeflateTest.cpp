// The small-part deflater: whatever it is given, a standard inflater must give the same bytes back.
#include <gtest/gtest.h>
#include <libdeflate.h>

#include <memory>
#include <random>
#include <string>

#include "FixedDeflate.h"

namespace trelwick::engine::test {
namespace {

std::string inflate(const std::string& deflated, std::size_t size) {
    const std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)> d(
        libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
    std::string out(size, '\0');
    std::size_t got = 0;
    const libdeflate_result r =
        libdeflate_deflate_decompress(d.get(), deflated.data(), deflated.size(), out.data(), out.size(), &got);
    EXPECT_EQ(r, LIBDEFLATE_SUCCESS);
    out.resize(got);
    return out;
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
    const std::string& in = GetParam().bytes;
    const std::string deflated = deflateFixed(in);
    EXPECT_LE(deflated.size(), in.size() + in.size() / 8 + 8);
    EXPECT_EQ(inflate(deflated, in.size()), in);
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
    EXPECT_EQ(inflate(deflateFixed(in), in.size()), in);
}

TEST(FixedDeflate, CompressesMarkup) {
    const std::string in = xmlLike(8000);
    EXPECT_LT(deflateFixed(in).size(), in.size() / 3);
}

TEST(FixedDeflate, RefusesInputsPastTheWindow) {
    EXPECT_THROW(deflateFixed(std::string(kFixedDeflateMaxInput + 1, 'a')), std::length_error);
}

}  // namespace
}  // namespace trelwick::engine::test
