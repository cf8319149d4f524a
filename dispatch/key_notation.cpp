#include "dispatch/key_notation.h"

#include <array>
#include <optional>
#include <utility>

namespace tovira {

namespace {

using platform::KeyStroke;
using platform::Modifiers;
using platform::NamedKey;

struct CodePoint {
    char32_t cp;
    std::size_t at;  // byte offset
};

struct NameEntry {
    std::string_view name;
    NamedKey key;
};

constexpr std::array kNames = {
    NameEntry{"F1", NamedKey::F1},
    NameEntry{"F2", NamedKey::F2},
    NameEntry{"F3", NamedKey::F3},
    NameEntry{"F4", NamedKey::F4},
    NameEntry{"F5", NamedKey::F5},
    NameEntry{"F6", NamedKey::F6},
    NameEntry{"F7", NamedKey::F7},
    NameEntry{"F8", NamedKey::F8},
    NameEntry{"F9", NamedKey::F9},
    NameEntry{"F10", NamedKey::F10},
    NameEntry{"F11", NamedKey::F11},
    NameEntry{"F12", NamedKey::F12},
    NameEntry{"F13", NamedKey::F13},
    NameEntry{"F14", NamedKey::F14},
    NameEntry{"F15", NamedKey::F15},
    NameEntry{"F16", NamedKey::F16},
    NameEntry{"ENTER", NamedKey::Enter},
    NameEntry{"DOWN", NamedKey::Down},
    NameEntry{"UP", NamedKey::Up},
    NameEntry{"LEFT", NamedKey::Left},
    NameEntry{"RIGHT", NamedKey::Right},
    NameEntry{"TAB", NamedKey::Tab},
    NameEntry{"ESC", NamedKey::Esc},
    NameEntry{"ESCAPE", NamedKey::Esc},
    NameEntry{"BACKSPACE", NamedKey::Backspace},
    NameEntry{"BS", NamedKey::Backspace},
    NameEntry{"BKSP", NamedKey::Backspace},
    NameEntry{"DELETE", NamedKey::Delete},
    NameEntry{"DEL", NamedKey::Delete},
    NameEntry{"INSERT", NamedKey::Insert},
    NameEntry{"INS", NamedKey::Insert},
    NameEntry{"HOME", NamedKey::Home},
    NameEntry{"END", NamedKey::End},
    NameEntry{"PGUP", NamedKey::PageUp},
    NameEntry{"PGDN", NamedKey::PageDown},
    NameEntry{"BREAK", NamedKey::Break},
    NameEntry{"CAPSLOCK", NamedKey::CapsLock},
    NameEntry{"NUMLOCK", NamedKey::NumLock},
    NameEntry{"SCROLLLOCK", NamedKey::ScrollLock},
    NameEntry{"PRTSC", NamedKey::PrintScreen},
    NameEntry{"HELP", NamedKey::Help},
    NameEntry{"ADD", NamedKey::Add},
    NameEntry{"SUBTRACT", NamedKey::Subtract},
    NameEntry{"MULTIPLY", NamedKey::Multiply},
    NameEntry{"DIVIDE", NamedKey::Divide},
};

// Case-insensitive in ASCII only: every key name is ASCII, and a name with
// other letters is unknown whatever its case.
std::optional<NamedKey> find_name(const std::vector<CodePoint>& cps, std::size_t from,
                                  std::size_t to) {
    for (const NameEntry& e : kNames) {
        if (e.name.size() != to - from) continue;
        bool same = true;
        for (std::size_t i = 0; i < e.name.size() && same; ++i) {
            char32_t c = cps[from + i].cp;
            if (c >= U'a' && c <= U'z') c -= U'a' - U'A';
            same = c == static_cast<unsigned char>(e.name[i]);
        }
        if (same) return e.key;
    }
    return std::nullopt;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
// Returns false with `bad` at the offending byte.
bool decode_utf8(std::string_view text, std::vector<CodePoint>& out, std::size_t& bad) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        std::size_t len = 0;
        char32_t cp = 0;
        char32_t min = 0;
        if (b0 < 0x80) {
            len = 1;
            cp = b0;
        } else if ((b0 & 0xE0) == 0xC0) {
            len = 2;
            cp = b0 & 0x1F;
            min = 0x80;
        } else if ((b0 & 0xF0) == 0xE0) {
            len = 3;
            cp = b0 & 0x0F;
            min = 0x800;
        } else if ((b0 & 0xF8) == 0xF0) {
            len = 4;
            cp = b0 & 0x07;
            min = 0x10000;
        } else {
            bad = i;
            return false;
        }
        if (text.size() - i < len) {
            bad = i;
            return false;
        }
        for (std::size_t k = 1; k < len; ++k) {
            const auto b = static_cast<unsigned char>(text[i + k]);
            if ((b & 0xC0) != 0x80) {
                bad = i;
                return false;
            }
            cp = (cp << 6) | (b & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            bad = i;
            return false;
        }
        out.push_back({cp, i});
        i += len;
    }
    return true;
}

Modifiers operator|(Modifiers a, Modifiers b) {
    return {a.shift || b.shift, a.ctrl || b.ctrl, a.alt || b.alt};
}

bool any(Modifiers m) {
    return m.shift || m.ctrl || m.alt;
}

KeyParse fail(std::string why, std::size_t where) {
    KeyParse r;
    r.error = std::move(why);
    r.where = where;
    return r;
}

}  // namespace

KeyParse parse_key_notation(std::string_view text) {
    std::vector<CodePoint> cps;
    cps.reserve(text.size());
    std::size_t bad = 0;
    if (!decode_utf8(text, cps, bad)) return fail("malformed UTF-8", bad);

    // Groups are kept on an explicit stack, not by recursion, so that a text
    // of many "(" cannot exhaust the call stack.
    struct Group {
        Modifiers mods;  // held for every key of the group, outer ones included
        std::size_t at;  // offset of its "("
    };
    std::vector<Group> groups;
    Modifiers pending;  // "+", "^", "%" waiting for their key
    std::size_t pending_at = 0;

    KeyParse result;
    auto held = [&] { return (groups.empty() ? Modifiers{} : groups.back().mods) | pending; };
    auto emit = [&](KeyStroke k, int times) {
        k.mods = held();
        for (int n = 0; n < times; ++n) result.keys.push_back(k);
        pending = {};
    };
    auto character = [](char32_t c) {
        KeyStroke k;
        k.ch = c;
        return k;
    };
    auto named = [](NamedKey key) {
        KeyStroke k;
        k.named = true;
        k.key = key;
        return k;
    };

    for (std::size_t i = 0; i < cps.size(); ++i) {
        const char32_t c = cps[i].cp;
        const std::size_t at = cps[i].at;
        switch (c) {
            case U'+':
            case U'^':
            case U'%':
                if (!any(pending)) pending_at = at;
                if (c == U'+') pending.shift = true;
                if (c == U'^') pending.ctrl = true;
                if (c == U'%') pending.alt = true;
                break;
            case U'(':
                groups.push_back({held(), at});
                pending = {};
                break;
            case U')':
                if (any(pending)) return fail("modifier with no key after it", pending_at);
                if (groups.empty()) return fail("unmatched \")\"", at);
                groups.pop_back();
                break;
            case U'~': emit(named(NamedKey::Enter), 1); break;
            case U'}': return fail("unmatched \"}\"", at);
            case U'{': {
                // The first character inside may itself be "}" ("{}}").
                const std::size_t from = i + 1;
                std::size_t close = from + 1;
                while (close < cps.size() && cps[close].cp != U'}') ++close;
                if (from >= cps.size() || close >= cps.size()) return fail("unmatched \"{\"", at);
                // "{NAME n}": the count follows the last blank.
                std::size_t name_end = close;
                int times = 1;
                for (std::size_t k = close; k-- > from + 1;) {
                    if (cps[k].cp != U' ') continue;
                    name_end = k;
                    if (k + 1 == close) return fail("missing repeat count", cps[k].at);
                    times = 0;
                    for (std::size_t d = k + 1; d < close; ++d) {
                        const char32_t digit = cps[d].cp;
                        if (digit < U'0' || digit > U'9')
                            return fail("malformed repeat count", cps[k + 1].at);
                        times = times * 10 + static_cast<int>(digit - U'0');
                        if (times > kMaxRepeat)
                            return fail("repeat count above the limit", cps[k + 1].at);
                    }
                    break;
                }
                if (name_end - from == 1) {
                    emit(character(cps[from].cp), times);
                } else if (const auto key = find_name(cps, from, name_end)) {
                    emit(named(*key), times);
                } else {
                    return fail("unknown key name", at);
                }
                i = close;
                break;
            }
            default: emit(character(c), 1); break;
        }
    }
    if (any(pending)) return fail("modifier with no key after it", pending_at);
    if (!groups.empty()) return fail("unmatched \"(\"", groups.back().at);
    result.ok = true;
    return result;
}

}  // namespace tovira
