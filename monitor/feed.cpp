#include "monitor/feed.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <exception>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>

namespace tovira {

namespace {

using Json = nlohmann::json;

// ---- input in slices ------------------------------------------------------------------

// Hands the parser the document byte by byte and calls the hook each time a
// slice has been read, so that the event loop runs during a long parse. The
// parser reads through `SlicedIterator`; the mark test is its only cost.
class SliceReader {
public:
    SliceReader(std::string_view text, const SliceHook& hook, std::size_t slice)
        : begin_(text.data()), end_(text.data() + text.size()), hook_(hook), slice_(slice) {}

    const char* begin_ptr() const { return begin_; }
    const char* end_ptr() const { return end_; }
    // The first mark: where the first slice ends (the end itself included,
    // so that the hook also sees the last bytes go by). Null: no marks.
    const char* first_mark() const { return hook_ ? next_mark(begin_) : nullptr; }
    bool stopped() const { return stopped_; }

    // `at` reached `mark`: runs the hook and sets the next mark. Returns
    // where reading goes on: the end when the hook stopped it.
    const char* pass(const char* at, const char*& mark) {
        if (!hook_(static_cast<std::size_t>(at - begin_))) {
            stopped_ = true;
            mark = nullptr;
            return end_;
        }
        mark = at == end_ ? nullptr : next_mark(at);
        return at;
    }

private:
    const char* next_mark(const char* at) const {
        return static_cast<std::size_t>(end_ - at) > slice_ ? at + slice_ : end_;
    }

    const char* begin_;
    const char* end_;
    const SliceHook& hook_;
    std::size_t slice_;
    bool stopped_ = false;
};

class SlicedIterator {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    SlicedIterator() = default;
    SlicedIterator(const char* p, const char* mark, SliceReader* reader)
        : p_(p), mark_(mark), reader_(reader) {}

    reference operator*() const { return *p_; }
    SlicedIterator& operator++() {
        if (++p_ == mark_) p_ = reader_->pass(p_, mark_);
        return *this;
    }
    SlicedIterator operator++(int) {
        SlicedIterator old = *this;
        ++*this;
        return old;
    }
    friend bool operator==(const SlicedIterator& a, const SlicedIterator& b) {
        return a.p_ == b.p_;
    }

private:
    const char* p_ = nullptr;
    const char* mark_ = nullptr;
    SliceReader* reader_ = nullptr;
};

// ---- the clients ----------------------------------------------------------------------

// What an open object or array is, as far as the conversion cares. Only the
// first levels are told apart; everything deeper is `Other`.
enum class Node : std::uint8_t { Other, Root, Clients, List, Client, Session };
// The key just read, where it names something the conversion reads.
enum class Key : std::uint8_t {
    None,
    Clients,
    AtcList,
    PilotList,
    Callsign,
    UserId,
    AtcSession,
    Frequency
};

bool holds_record_break(std::string_view s) {
    return s.find_first_of(":\r\n") != std::string_view::npos;
}

// A frequency as written with three decimals names a channel from 100.000
// to 199.997 MHz. A client just connected carries 0, and 199.998 or 199.999
// mean "no primary frequency": shown, they would read as channels. Texts of
// the same length compare as their numbers do.
bool is_channel(std::string_view text) {
    constexpr std::string_view kLowest = "100.000";
    constexpr std::string_view kHighest = "199.997";
    return text.size() == kLowest.size() && text >= kLowest && text <= kHighest;
}

bool is_ascii(std::string_view s) {
    for (char c : s) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

// A SAX handler for nlohmann::json. The parser keeps its own nesting on a
// heap stack; this keeps a depth count and the kinds of the first levels,
// so that no depth of nesting costs it more than a counter.
class FeedHandler {
public:
    FeedHandler(platform::Locale& locale, std::string& out) : locale_(locale), out_(out) {}

    bool clients_seen() const { return clients_seen_; }

    bool null() { return value({}, false, nullptr); }
    bool boolean(bool) { return value({}, false, nullptr); }
    bool number_integer(Json::number_integer_t v) { return integer(v); }
    bool number_unsigned(Json::number_unsigned_t v) { return integer(v); }
    bool number_float(Json::number_float_t v, const Json::string_t& text) {
        return value(text, true, &v);
    }
    bool string(Json::string_t& s) { return value(s, true, nullptr); }
    bool binary(Json::binary_t&) { return value({}, false, nullptr); }

    bool start_object(std::size_t) { return open(true); }
    bool start_array(std::size_t) { return open(false); }
    bool end_object() { return close(); }
    bool end_array() { return close(); }

    bool key(Json::string_t& k) {
        key_ = Key::None;
        switch (parent()) {
            case Node::Root:
                if (k == "clients") key_ = Key::Clients;
                break;
            case Node::Clients:
                if (k == "atcs" || k == "observers") key_ = Key::AtcList;
                if (k == "pilots" || k == "followMe") key_ = Key::PilotList;
                break;
            case Node::Client:
                // A repeated key replaces what the earlier one gave.
                if (k == "callsign") {
                    key_ = Key::Callsign;
                    has_callsign_ = false;
                } else if (k == "userId") {
                    key_ = Key::UserId;
                    user_id_.clear();
                } else if (k == "atcSession") {
                    key_ = Key::AtcSession;
                    has_frequency_ = false;
                }
                break;
            case Node::Session:
                if (k == "frequency") {
                    key_ = Key::Frequency;
                    has_frequency_ = false;
                }
                break;
            default: break;
        }
        return true;
    }

    bool parse_error(std::size_t, const std::string&, const Json::exception&) { return false; }

private:
    static constexpr std::size_t kKnownDepth = 5;  // root, clients, list, client, session

    Node parent() const {
        if (depth_ == 0) return Node::Other;
        return depth_ <= kKnownDepth ? path_[depth_ - 1] : Node::Other;
    }

    bool open(bool object) {
        Node node = Node::Other;
        const Node up = parent();
        if (depth_ == 0) {
            if (object) node = Node::Root;
        } else if (object) {
            if (up == Node::Root && key_ == Key::Clients) {
                node = Node::Clients;
                clients_seen_ = true;
            } else if (up == Node::List) {
                node = Node::Client;
                has_callsign_ = false;
                user_id_.clear();
                has_frequency_ = false;
            } else if (up == Node::Client && key_ == Key::AtcSession) {
                node = Node::Session;
            }
        } else if (up == Node::Clients && (key_ == Key::AtcList || key_ == Key::PilotList)) {
            node = Node::List;
            list_is_atc_ = key_ == Key::AtcList;
        }
        if (depth_ < kKnownDepth) path_[depth_] = node;
        ++depth_;
        key_ = Key::None;
        return true;
    }

    bool close() {
        --depth_;
        if (depth_ < kKnownDepth && path_[depth_] == Node::Client) emit();
        key_ = Key::None;
        return true;
    }

    template <typename Int>
    bool integer(Int v) {
        char buf[24];
        const auto r = std::to_chars(buf, buf + sizeof buf, v);
        double d = static_cast<double>(v);
        return value(std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)), true, &d);
    }

    // A scalar: `text` is a string's value or a number as written; `number`
    // is set for numbers. Callsign and user id take either; the frequency
    // takes a number or a string that holds one.
    bool value(std::string_view text, bool has_text, const double* number) {
        switch (key_) {
            case Key::Callsign:
                if (has_text) {
                    callsign_.assign(text);
                    has_callsign_ = true;
                }
                break;
            case Key::UserId:
                if (has_text) user_id_.assign(text);
                break;
            case Key::Frequency: {
                double f = 0;
                if (number) {
                    f = *number;
                } else if (has_text) {
                    const auto r = std::from_chars(text.data(), text.data() + text.size(), f);
                    if (r.ec != std::errc() || r.ptr != text.data() + text.size()) break;
                } else {
                    break;
                }
                // A radio frequency in MHz; anything else is not shown.
                if (std::isfinite(f) && f >= 0 && f < 1e6) {
                    frequency_ = f + 0.0;  // no "-0.000"
                    has_frequency_ = true;
                }
                break;
            }
            default: break;
        }
        key_ = Key::None;
        return true;
    }

    bool append_text(std::string_view s) {
        if (is_ascii(s)) {
            out_.append(s);
            return true;
        }
        const std::optional<std::string> ansi = locale_.utf8_to_ansi(s);
        if (!ansi) return false;
        out_ += *ansi;
        return true;
    }

    void emit() {
        if (!has_callsign_ || callsign_.empty()) return;
        // Such a client would break the record apart.
        if (holds_record_break(callsign_) || holds_record_break(user_id_)) return;
        // A client the code page cannot take is left out whole.
        const std::size_t start = out_.size();
        if (!append_text(callsign_)) return;
        out_ += ':';
        if (!append_text(user_id_)) {
            out_.resize(start);
            return;
        }
        out_ += ':';
        append_text(user_id_);
        if (list_is_atc_) {
            out_ += ":ATC:";
            if (has_frequency_) {
                char buf[32];
                const auto r =
                    std::to_chars(buf, buf + sizeof buf, frequency_, std::chars_format::fixed, 3);
                const std::string_view text(buf, static_cast<std::size_t>(r.ptr - buf));
                if (r.ec == std::errc() && is_channel(text)) out_.append(text);
            }
        } else {
            out_ += ":PILOT:";
        }
        out_ += ":\r\n";
    }

    platform::Locale& locale_;
    std::string& out_;
    std::size_t depth_ = 0;
    std::array<Node, kKnownDepth> path_{};
    Key key_ = Key::None;
    bool clients_seen_ = false;
    bool list_is_atc_ = false;
    // The client being read; the strings keep their capacity from client
    // to client.
    std::string callsign_;
    std::string user_id_;
    bool has_callsign_ = false;
    bool has_frequency_ = false;
    double frequency_ = 0;
};

}  // namespace

std::optional<std::string> convert_feed(std::string_view json, platform::Locale& locale,
                                        const SliceHook& between_slices, std::size_t slice_bytes) {
    // No JSON text holds a NUL byte; the parser would take one for the end
    // and accept whatever came before it.
    if (json.find('\0') != std::string_view::npos) return std::nullopt;
    std::string out;
    FeedHandler handler(locale, out);
    SliceReader reader(json, between_slices, slice_bytes == 0 ? kFeedSliceBytes : slice_bytes);
    bool ok = false;
    try {
        ok = Json::sax_parse(SlicedIterator(reader.begin_ptr(), reader.first_mark(), &reader),
                             SlicedIterator(reader.end_ptr(), nullptr, &reader), &handler,
                             Json::input_format_t::json, true, false);
    } catch (const std::exception&) {
        ok = false;  // out of memory: as a document that is not the feed
    }
    if (!ok || reader.stopped() || !handler.clients_seen()) return std::nullopt;
    return out;
}

bool has_client_record(std::string_view text) {
    int colons = 0;
    for (char c : text) {
        if (c == ':') {
            if (++colons == 5) return true;
        } else if (c == '\r' || c == '\n') {
            colons = 0;
        }
    }
    return false;
}

}  // namespace tovira
