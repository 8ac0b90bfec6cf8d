#include "cli/display_name.h"

#include <new>
#include <type_traits>

namespace {

using platform::NativeChar;
using platform::NativeStringView;

constexpr bool kWide = sizeof(NativeChar) > 1;

unsigned Unsigned(NativeChar c) {
    // Compare as unsigned: raw bytes above 0x7F are part of UTF-8 names.
    return static_cast<unsigned>(static_cast<std::make_unsigned_t<NativeChar>>(c));
}

// The length of the well-formed UTF-8 sequence at name[i], or 0 if none
// starts there (no overlong forms, surrogates or values above U+10FFFF).
std::size_t Utf8Length(NativeStringView name, std::size_t i) {
    const unsigned lead = Unsigned(name[i]);
    unsigned low = 0x80;
    unsigned high = 0xBF;  // the range of the second byte
    std::size_t length = 0;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : low;
        high = lead == 0xED ? 0x9F : high;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : low;
        high = lead == 0xF4 ? 0x8F : high;
    }
    if (length == 0 || name.size() - i < length) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const unsigned next = Unsigned(name[i + k]);
        if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) {
            return 0;
        }
    }
    return length;
}

// One character of a name: how many units it takes, and whether it is
// shown as it is (else each of its units is escaped).
struct Character {
    std::size_t length;
    bool plain;
};

Character At(NativeStringView name, std::size_t i) {
    const unsigned u = Unsigned(name[i]);
    if constexpr (kWide) {
        const bool high = u >= 0xD800 && u <= 0xDBFF;
        const unsigned next = i + 1 < name.size() ? Unsigned(name[i + 1]) : 0;
        if (high && next >= 0xDC00 && next <= 0xDFFF) {
            return {2, !MustEscape(0x10000 + ((u - 0xD800) << 10) + (next - 0xDC00))};
        }
        const bool surrogate = u >= 0xD800 && u <= 0xDFFF;  // unpaired: no character
        return {1, !surrogate && !MustEscape(u)};
    } else {
        // Wide names separate folders with a backslash; byte names escape it.
        const std::size_t length = Utf8Length(name, i);
        if (length <= 1) {
            return {1, length == 1 && u != '\\' && !MustEscape(u)};
        }
        constexpr unsigned kLeadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
        char32_t c = u & kLeadBits[length];
        for (std::size_t k = 1; k < length; ++k) {
            c = (c << 6) | (Unsigned(name[i + k]) & 0x3F);
        }
        return {length, !MustEscape(c)};
    }
}

// Writes the shown form of `name` to `out`, or with `out` null only counts
// it; returns its length.
std::size_t Escape(NativeStringView name, NativeChar* out) {
    constexpr char kHex[] = "0123456789ABCDEF";
    std::size_t size = 0;
    const auto put = [&](unsigned c) {
        if (out != nullptr) {
            out[size] = static_cast<NativeChar>(c);
        }
        ++size;
    };
    for (std::size_t i = 0; i < name.size();) {
        const Character c = At(name, i);
        for (const std::size_t end = i + c.length; i < end; ++i) {
            const unsigned u = Unsigned(name[i]);
            if (c.plain) {
                put(u);
                continue;
            }
            const int digits = u > 0xFF ? 4 : 2;  // \xHH, or \uHHHH for a wide unit above 0xFF
            put('\\');
            put(digits == 4 ? 'u' : 'x');
            for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) {
                put(static_cast<unsigned char>(kHex[(u >> shift) & 0xF]));
            }
        }
    }
    return size;
}

}  // namespace

// What a terminal acts on, what breaks a line for Unicode readers (U+2028,
// U+2029), and Unicode's default-ignorable code points: invisible, so that
// "a" and "a" + U+200B would look the same, and among them the marks that
// reorder the text around them (U+061C, U+200E, U+200F, U+202A-U+202E,
// U+2066-U+2069).
constexpr char32_t kHidden[][2] = {
    {0x00, 0x1F},       {0x7F, 0x9F},       {0xAD, 0xAD},       {0x34F, 0x34F},
    {0x61C, 0x61C},     {0x115F, 0x1160},   {0x17B4, 0x17B5},   {0x180B, 0x180F},
    {0x200B, 0x200F},   {0x2028, 0x202E},   {0x2060, 0x206F},   {0x3164, 0x3164},
    {0xFE00, 0xFE0F},   {0xFEFF, 0xFEFF},   {0xFFA0, 0xFFA0},   {0xFFF0, 0xFFF8},
    {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0000, 0xE0FFF},
};

bool MustEscape(char32_t c) {
    for (const auto& range : kHidden) {
        if (c >= range[0] && c <= range[1]) {
            return true;
        }
    }
    return false;
}

DisplayName::DisplayName(const platform::NativeChar* path) {
    const NativeStringView name = platform::FinalComponent(path);
    const std::size_t size = Escape(name, nullptr);
    if (size == name.size()) {
        text_ = name;  // escapes only ever lengthen a name: none here
        return;
    }
    // Not std::basic_string: its allocation would throw where memory is short.
    escaped_.reset(new (std::nothrow) NativeChar[size]);
    made_ = escaped_ != nullptr;
    if (made_) {
        Escape(name, escaped_.get());
        text_ = NativeStringView(escaped_.get(), size);
    }
}
