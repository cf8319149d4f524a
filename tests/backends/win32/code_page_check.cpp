// The Windows backend's text conversions against the real code page tables
// of Windows (or Wine), for code pages the system running it need not use:
// UTF-8 (65001), Central European (1250), Western European (1252) and one
// double-byte code page (932). Prints one line per failed case and a last
// line "code-page: N passed, M failed"; exits 1 on any failure.
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "backends/win32/code_page.h"
#include "platform/text_encoding.h"

namespace {

using tovira::win32::code_page_to_utf8;
using tovira::win32::utf8_to_code_page;

int g_passed = 0;
int g_failed = 0;

std::string shown(const std::optional<std::string>& s) {
    if (!s) return "(failed)";
    std::string out;
    for (unsigned char c : *s) {
        char b[8];
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            std::snprintf(b, sizeof b, "\\x%02X", c);
            out += b;
        }
        if (out.size() > 120) return out + "...";
    }
    return out;
}

void expect(bool ok, const std::string& what) {
    if (ok) {
        ++g_passed;
    } else {
        ++g_failed;
        std::printf("FAIL %s\n", what.c_str());
    }
}

void expect_eq(const std::optional<std::string>& got, std::string_view want,
               const std::string& what) {
    const bool ok = got && *got == want;
    expect(ok, what + ": got " + shown(got) + ", want " + shown(std::string(want)));
}

// UTF-8 text, its bytes in the code page, and back to the same text.
void round_trip(unsigned cp, std::string_view utf8, std::string_view bytes, const char* what) {
    const std::string name = "cp" + std::to_string(cp) + " " + what;
    expect_eq(utf8_to_code_page(utf8, cp), bytes, name + " to the code page");
    expect_eq(code_page_to_utf8(bytes, cp), utf8, name + " from the code page");
}

}  // namespace

int main() {
    const std::string nul("A\0B", 3);

    // Round trips of the letters each code page holds.
    round_trip(1252,
               "M\xC3\xBCller Stra\xC3\x9F"
               "e \xE2\x82\xAC",
               "M\xFCller Stra\xDF"
               "e \x80",
               "umlauts, sharp s, euro");
    round_trip(1250,
               "\xC5\x81\xC3\xB3"
               "d\xC5\xBA Gda\xC5\x84sk",
               "\xA3\xF3"
               "d\x9F Gda\xF1sk",
               "Polish letters");
    round_trip(1250, "M\xC3\xBCnchen \xE2\x82\xAC", "M\xFCnchen \x80", "umlaut and euro");
    round_trip(65001,
               "\xC5\x81\xC3\xB3"
               "d\xC5\xBA M\xC3\xBCnchen \xF0\x9F\x9B\xAB",
               "\xC5\x81\xC3\xB3"
               "d\xC5\xBA M\xC3\xBCnchen \xF0\x9F\x9B\xAB",
               "Polish, umlaut, outside the BMP");
    round_trip(932, "\xE6\x97\xA5\xE6\x9C\xAC EDDT", "\x93\xFA\x96\x7B EDDT", "double-byte");
    for (unsigned cp : {1252u, 1250u, 65001u, 932u}) {
        round_trip(cp, "", "", "empty text");
        round_trip(cp, nul, nul, "NUL kept");
        round_trip(cp, "EDDT_TWR", "EDDT_TWR", "ASCII");
    }

    // What a code page cannot hold is '?', never a look-alike.
    expect_eq(utf8_to_code_page("\xC5\x81\xC3\xB3"
                                "d\xC5\xBA",
                                1252),
              "?\xF3"
              "d?",
              "cp1252 Polish letters");
    expect_eq(utf8_to_code_page("\xC3\xB1 \xC3\x85", 1250), "? ?", "cp1250 n tilde, A ring");
    expect_eq(utf8_to_code_page("\xE4\xB8\xAD", 1252), "?", "cp1252 CJK");
    {
        const auto s = utf8_to_code_page("\xF0\x9F\x9B\xAB", 1250);
        expect(s && !s->empty() && s->find_first_not_of('?') == std::string::npos,
               "cp1250 outside the BMP gives only '?': " + shown(s));
    }

    // Windows' own Windows-1252 table agrees with the portable one the
    // simulated platform uses, in both directions.
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        std::string utf8;
        tovira::platform::append_utf8(
            utf8, tovira::platform::cp1252_to_unicode(static_cast<unsigned char>(b)));
        char name[48];
        std::snprintf(name, sizeof name, "cp1252 byte 0x%02X", b);
        expect_eq(code_page_to_utf8(byte, 1252), utf8, name);
        expect_eq(utf8_to_code_page(utf8, 1252), byte, std::string(name) + " back");
        // Under UTF-8 a byte that is no UTF-8 on its own reads as 1252.
        if (b >= 0x80)
            expect_eq(code_page_to_utf8(byte, 65001), utf8, std::string(name) + " in 65001");
    }

    // A file written in 1252 before the switch to UTF-8.
    expect_eq(code_page_to_utf8("M\xFCnchen", 65001), "M\xC3\xBCnchen", "65001 1252 umlaut");
    expect_eq(code_page_to_utf8("K\xF6ln \xE2\x82\xAC", 65001), "K\xC3\xB6ln \xE2\x82\xAC",
              "65001 1252 and UTF-8 in one line");
    expect_eq(code_page_to_utf8("\xC0\xAF", 65001), "\xC3\x80\xC2\xAF", "65001 overlong form");
    expect_eq(code_page_to_utf8("\xED\xA0\x80", 65001), "\xC3\xAD\xC2\xA0\xE2\x82\xAC",
              "65001 encoded surrogate");
    expect_eq(code_page_to_utf8("ab\xC3", 65001), "ab\xC3\x83", "65001 sequence cut short");

    // Long texts: nothing cut off.
    {
        std::string utf8;
        std::string ansi;
        for (int k = 0; k < 300000; ++k) {
            utf8 +=
                "\xC3\xBC"
                "a";
            ansi +=
                "\xFC"
                "a";
        }
        round_trip(1252, utf8, ansi, "900 000 bytes");
        round_trip(1250, utf8, ansi, "900 000 bytes");
        round_trip(65001, utf8, utf8, "900 000 bytes");
    }

    // The window texts: UTF-8 and UTF-16, NUL and surrogate pairs kept.
    {
        const std::string utf8 = std::string("a\0\xC5\x81", 4) + "\xF0\x9F\x9B\xAB";
        const auto w = tovira::win32::utf8_to_wide(utf8);
        expect(w && *w == std::wstring(L"a\0\u0141\U0001F6EB", 5), "UTF-8 to UTF-16");
        expect_eq(w ? tovira::win32::wide_to_utf8(*w) : std::nullopt, utf8, "UTF-16 to UTF-8");
        const auto empty = tovira::win32::utf8_to_wide("");
        expect(empty && empty->empty(), "empty UTF-16");
    }

    std::printf("code-page: %d passed, %d failed\n", g_passed, g_failed);
    return g_failed == 0 ? 0 : 1;
}
