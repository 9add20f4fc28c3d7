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
    std::uint8_t count = 0;
};

std::uint32_t reversed(std::uint32_t code, int length) {
    std::uint32_t out = 0;
    for (int i = 0; i < length; ++i) out |= ((code >> i) & 1u) << (length - 1 - i);
    return out;
}

// The fixed literal/length code of RFC 1951, 3.2.6.
Code literalCode(int symbol) {
    if (symbol < 144) return {reversed(0x30 + symbol, 8), 8};
    if (symbol < 256) return {reversed(0x190 + symbol - 144, 9), 9};
    if (symbol < 280) return {reversed(symbol - 256, 7), 7};
    return {reversed(0xC0 + symbol - 280, 8), 8};
}

constexpr std::array<int, 29> kLengthBase{3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                          31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<int, 29> kLengthExtra{0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<int, 30> kDistanceBase{1,   2,   3,   4,   5,   7,    9,    13,   17,   25,
                                            33,  49,  65,  97,  129, 193,  257,  385,  513,  769,
                                            1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<int, 30> kDistanceExtra{0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                             6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

constexpr int kMinMatch = 4;  // the hash covers four bytes
constexpr int kMaxMatch = 258;
constexpr int kMaxHashBits = 13;

struct Tables {
    std::array<Code, 256> literals;
    Code endOfBlock;
    std::array<Code, kMaxMatch + 1> lengths;  // by match length
    std::array<std::uint8_t, 512> distanceSymbol;  // by distance - 1 below 256, else 256 + (distance - 1) / 128

    Tables() {
        for (int s = 0; s < 256; ++s) literals[s] = literalCode(s);
        endOfBlock = literalCode(256);
        for (int symbol = 0; symbol < 29; ++symbol) {
            const Code code = literalCode(257 + symbol);
            const int last = symbol + 1 < 29 ? kLengthBase[symbol + 1] - 1 : kMaxMatch;
            // 258 has a symbol of its own, so symbol 284 stops at 257.
            for (int length = kLengthBase[symbol]; length <= std::min(last, kMaxMatch); ++length)
                lengths[length] = {code.bits | static_cast<std::uint32_t>(length - kLengthBase[symbol]) << code.count,
                                   static_cast<std::uint8_t>(code.count + kLengthExtra[symbol])};
        }
        for (int symbol = 0; symbol < 30; ++symbol) {
            const int last = symbol + 1 < 30 ? kDistanceBase[symbol + 1] - 1 : 32768;
            for (int d = kDistanceBase[symbol]; d <= last; ++d) {
                const int index = d <= 256 ? d - 1 : 256 + (d - 1) / 128;
                distanceSymbol[index] = static_cast<std::uint8_t>(symbol);
            }
        }
    }

    Code distance(std::uint32_t d) const {
        const int symbol = distanceSymbol[d <= 256 ? d - 1 : 256 + (d - 1) / 128];
        return {reversed(symbol, 5) | (d - kDistanceBase[symbol]) << 5,
                static_cast<std::uint8_t>(5 + kDistanceExtra[symbol])};
    }
};

const Tables& tables() {
    static const Tables t;
    return t;
}

// Fills bytes from the low bit, as deflate's stream is read; whole 32-bit words at a time (a put adds
// at most 18 bits, so 63 never overflow).
class BitWriter {
  public:
    explicit BitWriter(char* out) : out_(out) {}
    void put(Code c) {
        pending_ |= static_cast<std::uint64_t>(c.bits) << count_;
        count_ += c.count;
        if (count_ >= 32) {
            const auto word = static_cast<std::uint32_t>(pending_);
            for (int k = 0; k < 4; ++k) *out_++ = static_cast<char>((word >> (8 * k)) & 0xFF);
            pending_ >>= 32;
            count_ -= 32;
        }
    }
    char* finish() {
        for (; count_ > 0; count_ -= 8, pending_ >>= 8) *out_++ = static_cast<char>(pending_ & 0xFF);
        return out_;
    }

  private:
    char* out_;
    std::uint64_t pending_ = 0;
    int count_ = 0;
};

std::uint32_t load32(const unsigned char* p) {
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// How far two runs of bytes agree, up to limit, eight bytes at a time.
std::size_t matchLength(const unsigned char* a, const unsigned char* b, std::size_t length, std::size_t limit) {
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

std::uint32_t hash(std::uint32_t v, int bits) {
    return (v * 2654435761u) >> (32 - bits);
}

}  // namespace

std::string deflateFixed(std::string_view input) {
    if (input.size() > kFixedDeflateMaxInput) throw std::length_error("input too large for deflateFixed");
    const Tables& t = tables();
    const auto* in = reinterpret_cast<const unsigned char*>(input.data());
    const std::size_t n = input.size();

    // At most 9 bits a literal, plus the block header and end code.
    std::string out(n + n / 8 + 8, '\0');
    BitWriter bits(out.data());
    bits.put({0b011, 3});  // last block, fixed codes

    // Last position + 1 of each hashed four bytes; 0 for none (positions fit, inputs are small). A small
    // input gets a small table: clearing the whole one cost more than compressing a short part.
    const int hashBits = std::clamp(static_cast<int>(std::bit_width(n)), 8, kMaxHashBits);
    std::array<std::uint16_t, 1u << kMaxHashBits> last;
    std::fill_n(last.begin(), std::size_t{1} << hashBits, std::uint16_t{0});
    std::size_t i = 0;
    while (i + kMinMatch <= n) {
        const std::uint32_t v = load32(in + i);
        const std::uint32_t h = hash(v, hashBits);
        const std::size_t candidate = last[h];
        last[h] = static_cast<std::uint16_t>(i + 1);
        if (candidate != 0 && load32(in + candidate - 1) == v) {
            const std::size_t from = candidate - 1;
            const std::size_t limit = std::min<std::size_t>(kMaxMatch, n - i);
            const std::size_t length = matchLength(in + from, in + i, kMinMatch, limit);
            bits.put(t.lengths[length]);
            bits.put(t.distance(static_cast<std::uint32_t>(i - from)));
            // Only the match's last positions are remembered: hashing every one of them cost more than
            // the rest of the compression, and the output came out no smaller.
            const std::size_t end = i + length;
            for (std::size_t k = std::max(i + 1, end - 2); k < end && k + kMinMatch <= n; ++k)
                last[hash(load32(in + k), hashBits)] = static_cast<std::uint16_t>(k + 1);
            i = end;
        } else {
            bits.put(t.literals[in[i]]);
            ++i;
        }
    }
    for (; i < n; ++i) bits.put(t.literals[in[i]]);
    bits.put(t.endOfBlock);
    out.resize(static_cast<std::size_t>(bits.finish() - out.data()));
    return out;
}

}  // namespace trelwick::engine
