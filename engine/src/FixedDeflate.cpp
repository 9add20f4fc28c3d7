#include "FixedDeflate.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace trelwick::engine {
namespace {

// One code ready for the bit stream: the Huffman code bit-reversed (deflate sends codes from their top
// bit into a stream filled from the low bit), followed by its extra bits.
struct Code {
    std::uint32_t bits = 0;
    std::uint32_t count = 0;
};

constexpr std::uint32_t reversed(std::uint32_t code, int length) {
    std::uint32_t out = 0;
    for (int i = 0; i < length; ++i) out |= ((code >> i) & 1u) << (length - 1 - i);
    return out;
}

// The fixed literal/length code of RFC 1951, 3.2.6.
constexpr Code literalCode(int symbol) {
    if (symbol < 144) return {reversed(0x30 + symbol, 8), 8};
    if (symbol < 256) return {reversed(0x190 + symbol - 144, 9), 9};
    if (symbol < 280) return {reversed(symbol - 256, 7), 7};
    return {reversed(0xC0 + symbol - 280, 8), 8};
}

constexpr std::array<int, 29> kLengthBase{3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                          31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<int, 29> kLengthExtra{0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<int, 30> kDistanceBase{1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                            33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                            1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<int, 30> kDistanceExtra{0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                             6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

constexpr int kMinMatch = 4;  // the hash covers four bytes
constexpr int kMaxMatch = 258;
constexpr unsigned kFlushAt = 48;  // + 9 bits of a literal still fit the 64
// 4,096 slots gave 0.4% more bytes on the corpus's XML for no measurable gain in time (callgrind
// counts memset's rep stosb byte by byte and so makes the smaller table look a fifth cheaper).
constexpr int kMaxHashBits = 13;

// Distances are looked up by distance - 1 up to 256, else by 256 + (distance - 1) / 128.
constexpr std::size_t distanceIndex(std::size_t d) {
    return d <= 256 ? d - 1 : 256 + ((d - 1) >> 7);
}

struct Tables {
    std::array<Code, 256> literals{};
    Code endOfBlock{};
    std::array<Code, kMaxMatch + 1> lengths{};  // by match length
    // By distanceIndex: the code's bits less the symbol's base distance shifted past the symbol, so
    // that adding distance << 5 gives the symbol with its extra bits.
    std::array<Code, 512> distances{};

    constexpr Tables() {
        for (int s = 0; s < 256; ++s) literals[s] = literalCode(s);
        endOfBlock = literalCode(256);
        for (int symbol = 0; symbol < 29; ++symbol) {
            const Code c = literalCode(257 + symbol);
            const int last = symbol + 1 < 29 ? kLengthBase[symbol + 1] - 1 : kMaxMatch;
            // 258 has a symbol of its own, so symbol 284 stops at 257.
            for (int length = kLengthBase[symbol]; length <= std::min(last, kMaxMatch); ++length)
                lengths[length] = {c.bits | static_cast<std::uint32_t>(length - kLengthBase[symbol])
                                                << c.count,
                                   c.count + kLengthExtra[symbol]};
        }
        for (int symbol = 0; symbol < 30; ++symbol) {
            const int last = symbol + 1 < 30 ? kDistanceBase[symbol + 1] - 1 : 32768;
            for (int d = kDistanceBase[symbol]; d <= last; ++d)
                distances[distanceIndex(d)] = {
                    reversed(symbol, 5) - (static_cast<std::uint32_t>(kDistanceBase[symbol]) << 5),
                    static_cast<std::uint32_t>(5 + kDistanceExtra[symbol])};
        }
    }
};

constexpr Tables kTables;  // built by the compiler: no guarded static to check on every call

std::uint32_t load32(const unsigned char* p) {
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// How far two runs of bytes agree, up to limit, eight bytes at a time.
std::size_t matchLength(const unsigned char* a, const unsigned char* b, std::size_t length,
                        std::size_t limit) {
    while (length + 8 <= limit) {
        std::uint64_t x, y;
        std::memcpy(&x, a + length, 8);
        std::memcpy(&y, b + length, 8);
        if (x != y) {
            if constexpr (std::endian::native == std::endian::little)
                return length + static_cast<std::size_t>(std::countr_zero(x ^ y)) / 8;
            break;
        }
        length += 8;
    }
    while (length < limit && a[length] == b[length]) ++length;
    return length;
}

}  // namespace

std::string deflateFixed(std::string_view input) {
    if (input.size() > kFixedDeflateMaxInput) throw std::length_error("input too large for deflateFixed");
    const auto* in = reinterpret_cast<const unsigned char*>(input.data());
    const std::size_t n = input.size();

    // At most 9 bits a literal, plus the block header and end code, plus the 8 bytes a flush stores.
    // On the stack and copied out once: a string of that size had to be zero-filled first.
    unsigned char out[kFixedDeflateMaxInput + kFixedDeflateMaxInput / 8 + 16];
    unsigned char* o = out;
    // Bits gather from the low end, as deflate's stream is read. A flush stores all eight bytes and
    // moves on by the whole ones, leaving at most 7 bits: room for a match (31 bits at most) without
    // a check. Literals (9 bits at most) flush from kFlushAt bits on, every five or six of them rather
    // than a branch and a store for each.
    std::uint64_t pending = 0b011;  // last block, fixed codes
    unsigned count = 3;
    const auto put = [&](Code c) {
        pending |= static_cast<std::uint64_t>(c.bits) << count;
        count += c.count;
    };
    const auto flush = [&] {
        std::memcpy(o, &pending, 8);
        o += count >> 3;
        pending >>= count & 56;
        count &= 7;
    };

    const int hashBits = std::clamp(static_cast<int>(std::bit_width(n)), 8, kMaxHashBits);
    const unsigned shift = 32 - static_cast<unsigned>(hashBits);
    // The last position of each hashed four bytes. An empty slot reads as position 0, which the bytes
    // check then judges like any other candidate.
    std::uint16_t last[1u << kMaxHashBits];
    std::memset(last, 0, sizeof(std::uint16_t) << hashBits);
    const auto hash = [shift](std::uint32_t v) { return (v * 2654435761u) >> shift; };

    std::size_t i = 0;
    if (n > kMinMatch) {
        put(kTables.literals[in[0]]);
        i = 1;
        const std::size_t lastStart = n - kMinMatch;
        while (i <= lastStart) {
            const std::uint32_t v = load32(in + i);
            const std::uint32_t h = hash(v);
            const std::size_t from = last[h];
            last[h] = static_cast<std::uint16_t>(i);
            if (load32(in + from) != v) {
                put(kTables.literals[in[i]]);
                if (count >= kFlushAt) flush();
                ++i;
                continue;
            }
            const std::size_t length =
                matchLength(in + from, in + i, kMinMatch, std::min<std::size_t>(kMaxMatch, n - i));
            const std::size_t d = i - from;
            const Code dc = kTables.distances[distanceIndex(d)];
            flush();
            put(kTables.lengths[length]);
            put({dc.bits + static_cast<std::uint32_t>(d << 5), dc.count});
            // Only the match's last two positions are remembered: hashing every one of them cost more
            // than the rest of the compression, and the output came out no smaller.
            i += length;
            if (i <= lastStart) {
                last[hash(load32(in + i - 2))] = static_cast<std::uint16_t>(i - 2);
                last[hash(load32(in + i - 1))] = static_cast<std::uint16_t>(i - 1);
            }
        }
    }
    for (; i < n; ++i) {
        put(kTables.literals[in[i]]);
        if (count >= kFlushAt) flush();
    }
    put(kTables.endOfBlock);
    flush();
    o += count > 0;
    return std::string(reinterpret_cast<const char*>(out), static_cast<std::size_t>(o - out));
}

}  // namespace trelwick::engine
