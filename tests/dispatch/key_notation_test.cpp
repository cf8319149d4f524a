#include "dispatch/key_notation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tovira {
namespace {

using platform::KeyStroke;
using platform::Modifiers;
using platform::NamedKey;

KeyStroke ch(char32_t c, Modifiers m = {}) {
    KeyStroke k;
    k.ch = c;
    k.mods = m;
    return k;
}

KeyStroke key(NamedKey n, Modifiers m = {}) {
    KeyStroke k;
    k.named = true;
    k.key = n;
    k.mods = m;
    return k;
}

constexpr Modifiers kShift{true, false, false};
constexpr Modifiers kCtrl{false, true, false};
constexpr Modifiers kAlt{false, false, true};

std::vector<KeyStroke> keys(std::string_view text) {
    const KeyParse p = parse_key_notation(text);
    EXPECT_TRUE(p.ok) << text << ": " << p.error << " at " << p.where;
    return p.keys;
}

// The offset of the fault, or -1 when the text parsed.
long error_at(std::string_view text) {
    const KeyParse p = parse_key_notation(text);
    if (p.ok) return -1;
    EXPECT_FALSE(p.error.empty()) << text;
    EXPECT_TRUE(p.keys.empty()) << text;
    return static_cast<long>(p.where);
}

TEST(KeyNotation, PlainCharactersTypeThemselvesAsCodePoints) {
    EXPECT_EQ(keys("EDDT_TWR"), (std::vector{ch('E'), ch('D'), ch('D'), ch('T'), ch('_'), ch('T'),
                                             ch('W'), ch('R')}));
    EXPECT_TRUE(keys("").empty());
    EXPECT_EQ(keys("[a]"), (std::vector{ch('['), ch('a'), ch(']')}));
    EXPECT_EQ(keys("Z\xC3\xBCrich \xE2\x82\xAC\xF0\x9F\x98\x80"),
              (std::vector{ch('Z'), ch(U'\u00FC'), ch('r'), ch('i'), ch('c'), ch('h'), ch(' '),
                           ch(U'\u20AC'), ch(U'\U0001F600')}));
}

TEST(KeyNotation, MalformedUtf8IsRefusedAtTheBadByte) {
    EXPECT_EQ(error_at("ab\xC3"), 2);            // truncated sequence
    EXPECT_EQ(error_at("a\xC3(b"), 1);           // missing continuation
    EXPECT_EQ(error_at("\xC0\xAF"), 0);          // overlong "/"
    EXPECT_EQ(error_at("x\xED\xA0\x80"), 1);     // surrogate
    EXPECT_EQ(error_at("\xF4\x90\x80\x80"), 0);  // above U+10FFFF
    EXPECT_EQ(error_at("\x80"), 0);              // stray continuation
    EXPECT_EQ(error_at("{\xFF}"), 1);
}

TEST(KeyNotation, NamedKeysInAnyCaseWithAliases) {
    EXPECT_EQ(keys("{F4}{DOWN}{ENTER}"),
              (std::vector{key(NamedKey::F4), key(NamedKey::Down), key(NamedKey::Enter)}));
    EXPECT_EQ(keys("{f1}{F16}{Enter}{pgup}{PgDn}"),
              (std::vector{key(NamedKey::F1), key(NamedKey::F16), key(NamedKey::Enter),
                           key(NamedKey::PageUp), key(NamedKey::PageDown)}));
    EXPECT_EQ(keys("{ESC}{escape}"), (std::vector{key(NamedKey::Esc), key(NamedKey::Esc)}));
    EXPECT_EQ(keys("{BACKSPACE}{BS}{bksp}"), (std::vector(3, key(NamedKey::Backspace))));
    EXPECT_EQ(keys("{DELETE}{del}{INSERT}{ins}"),
              (std::vector{key(NamedKey::Delete), key(NamedKey::Delete), key(NamedKey::Insert),
                           key(NamedKey::Insert)}));
    EXPECT_EQ(keys("{UP}{LEFT}{RIGHT}{TAB}{HOME}{END}{BREAK}{CAPSLOCK}{NUMLOCK}{SCROLLLOCK}"
                   "{PRTSC}{HELP}{ADD}{SUBTRACT}{MULTIPLY}{DIVIDE}"),
              (std::vector{key(NamedKey::Up), key(NamedKey::Left), key(NamedKey::Right),
                           key(NamedKey::Tab), key(NamedKey::Home), key(NamedKey::End),
                           key(NamedKey::Break), key(NamedKey::CapsLock), key(NamedKey::NumLock),
                           key(NamedKey::ScrollLock), key(NamedKey::PrintScreen),
                           key(NamedKey::Help), key(NamedKey::Add), key(NamedKey::Subtract),
                           key(NamedKey::Multiply), key(NamedKey::Divide)}));
    // A single character in braces is that character, whatever it is.
    EXPECT_EQ(keys("{a}{A}{ }"), (std::vector{ch('a'), ch('A'), ch(' ')}));
}

TEST(KeyNotation, TildeAndBracedLiterals) {
    EXPECT_EQ(keys("A~"), (std::vector{ch('A'), key(NamedKey::Enter)}));
    EXPECT_EQ(keys("{+}{^}{%}{~}{(}{)}{{}{}}{[}{]}"),
              (std::vector{ch('+'), ch('^'), ch('%'), ch('~'), ch('('), ch(')'), ch('{'), ch('}'),
                           ch('['), ch(']')}));
}

TEST(KeyNotation, RepeatCounts) {
    EXPECT_EQ(keys("{LEFT 3}"), std::vector(3, key(NamedKey::Left)));
    EXPECT_EQ(keys("{a 3}b"), (std::vector{ch('a'), ch('a'), ch('a'), ch('b')}));
    EXPECT_EQ(keys("{} 2}{{ 2}"), (std::vector{ch('}'), ch('}'), ch('{'), ch('{')}));
    EXPECT_EQ(keys("{  2}"), std::vector(2, ch(' ')));
    EXPECT_TRUE(keys("{LEFT 0}").empty());
    EXPECT_EQ(keys("{LEFT 255}").size(), 255u);
    EXPECT_EQ(keys("{LEFT 0255}").size(), 255u);

    EXPECT_EQ(error_at("ab{LEFT 256}"), 8);
    EXPECT_EQ(error_at("{LEFT 99999999999999999999}"), 6);  // no overflow
    EXPECT_EQ(error_at("{LEFT x}"), 6);
    EXPECT_EQ(error_at("{LEFT -1}"), 6);
    EXPECT_EQ(error_at("{LEFT 3x}"), 6);
    EXPECT_EQ(error_at("{LEFT }"), 5);
    EXPECT_GE(error_at("{LEFT  3}"), 0);  // the name would be "LEFT "
}

TEST(KeyNotation, ModifiersHoldForTheNextKeyOrGroup) {
    EXPECT_EQ(keys("+ab"), (std::vector{ch('a', kShift), ch('b')}));
    EXPECT_EQ(keys("^c%f"), (std::vector{ch('c', kCtrl), ch('f', kAlt)}));
    EXPECT_EQ(keys("+^%x"), (std::vector{ch('x', Modifiers{true, true, true})}));
    EXPECT_EQ(keys("+{F4}^~"),
              (std::vector{key(NamedKey::F4, kShift), key(NamedKey::Enter, kCtrl)}));
    EXPECT_EQ(keys("+{LEFT 2}x"),
              (std::vector{key(NamedKey::Left, kShift), key(NamedKey::Left, kShift), ch('x')}));
    EXPECT_EQ(keys("+(ab)c"), (std::vector{ch('a', kShift), ch('b', kShift), ch('c')}));
    EXPECT_EQ(keys("^(a+(b)c)d"),
              (std::vector{ch('a', kCtrl), ch('b', Modifiers{true, true, false}), ch('c', kCtrl),
                           ch('d')}));
    EXPECT_EQ(keys("(ab)"), (std::vector{ch('a'), ch('b')}));
    EXPECT_EQ(keys("+{+}"), (std::vector{ch('+', kShift)}));
}

TEST(KeyNotation, FaultsAreReportedWithTheirOffset) {
    EXPECT_EQ(error_at("EDDT{"), 4);
    EXPECT_EQ(error_at("{F4"), 0);
    EXPECT_EQ(error_at("{}"), 0);
    EXPECT_EQ(error_at("a}b"), 1);
    EXPECT_EQ(error_at("x{FOO}"), 1);
    EXPECT_EQ(error_at("{F17}"), 0);
    EXPECT_EQ(error_at("{DOWN3}"), 0);
    EXPECT_EQ(error_at("{ F4}"), 0);
    EXPECT_EQ(error_at("a(b(c)"), 1);
    EXPECT_EQ(error_at("ab)"), 2);
    EXPECT_EQ(error_at("ab+"), 2);
    EXPECT_EQ(error_at("+^"), 0);
    EXPECT_EQ(error_at("(a+)"), 2);
    // The offset counts bytes, not characters.
    EXPECT_EQ(error_at("\xC3\xBC}"), 2);
}

TEST(KeyNotation, DeepNestingNeitherRecursesNorCrashes) {
    const std::size_t depth = 200000;
    std::string deep = std::string(depth, '(') + "+a" + std::string(depth, ')');
    const KeyParse p = parse_key_notation(deep);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.keys, (std::vector{ch('a', kShift)}));
    EXPECT_EQ(error_at(std::string(depth, '(')), static_cast<long>(depth - 1));
    EXPECT_EQ(error_at(std::string(depth, '+')), 0);
}

}  // namespace
}  // namespace tovira
