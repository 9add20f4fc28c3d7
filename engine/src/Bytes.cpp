#include "Bytes.h"

#include <algorithm>
#include <clocale>
#include <cwctype>

#include "trelwick/engine.h"

namespace trelwick::engine {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

constexpr char32_t kMalformed = 0xFFFFFFFF;

// The code point of utf8 at i, advanced past it; kMalformed (past one byte) for a malformed sequence:
// truncated, overlong, a surrogate or beyond U+10FFFF.
char32_t decode(std::string_view s, std::size_t& i) {
    const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(s[k]); };
    const std::uint8_t lead = byte(i);
    std::size_t length = lead < 0x80         ? 1
                         : (lead >> 5) == 6  ? 2
                         : (lead >> 4) == 14 ? 3
                         : (lead >> 3) == 30 ? 4
                                             : 0;
    if (length == 0 || i + length > s.size()) {
        ++i;
        return kMalformed;
    }
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            ++i;
            return kMalformed;
        }
        c = c << 6 | (byte(i + k) & 0x3F);
    }
    static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    i += length;
    if (c < kMinimum[length] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) return kMalformed;
    return c;
}

// The next code point of utf8 at i (advanced past it); malformed sequences yield U+FFFD for one byte.
char32_t nextCodePoint(std::string_view s, std::size_t& i) {
    const char32_t c = decode(s, i);
    return c == kMalformed ? kReplacement : c;
}

}  // namespace

bool isUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();)
        if (static_cast<std::uint8_t>(text[i]) < 0x80)
            ++i;
        else if (decode(text, i) == kMalformed)
            return false;
    return true;
}

std::string foldedCase(std::string_view name) {
    static const locale_t unicode = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t start = i;
        const char32_t c = decode(name, i);
        if (c == kMalformed)
            out += name.substr(start, i - start);
        else if (unicode)
            appendUtf8(out, static_cast<char32_t>(::towupper_l(static_cast<wint_t>(c), unicode)));
        else
            appendUtf8(out, c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    return out;
}

std::string utf16le(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const char32_t c = nextCodePoint(text, i);
        if (c >= 0x10000) {
            append16(out, static_cast<std::uint16_t>(0xD800 + ((c - 0x10000) >> 10)));
            append16(out, static_cast<std::uint16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            append16(out, static_cast<std::uint16_t>(c));
        }
    }
    return out;
}

std::string utf8(std::u16string_view units) {
    std::string out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char32_t unit = units[i];
        if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < units.size()) {
            const char32_t low = units[i + 1];
            if (low >= 0xDC00 && low < 0xE000) {
                appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        appendUtf8(out, unit >= 0xD800 && unit < 0xE000 ? kReplacement : unit);
    }
    return out;
}

std::string utf8(std::string_view bytes) {
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) units[i] = static_cast<char16_t>(le16(bytes, 2 * i));
    return utf8(std::u16string_view(units));
}

std::string toLower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), lowerAscii);
    return s;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

}  // namespace trelwick::engine
