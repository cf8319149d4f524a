#include "config/config_file.h"

#include <optional>
#include <string>
#include <utility>

#include "config/number_text.h"
#include "dispatch/dispatch.h"
#include "monitor/update_scheduler.h"
#include "platform/line_reader.h"
#include "window/form_window.h"

namespace tovira {

namespace {

// Ends the load quietly: reading past the end, a value that is no number or
// does not fit, a value a control refuses.
struct LoadStop {};

class Lines {
public:
    Lines(platform::LineReader& reader, platform::Locale& locale)
        : reader_(reader), locale_(locale) {}
    std::string next() {
        auto line = reader_.read_line();
        if (!line) throw LoadStop{};
        auto text = locale_.ansi_to_utf8(*line);
        if (!text) {
            unreadable_ = true;
            throw LoadStop{};
        }
        return std::move(*text);
    }
    // A line could not be converted: the table is not what the file holds.
    bool unreadable() const { return unreadable_; }

private:
    platform::LineReader& reader_;
    platform::Locale& locale_;
    bool unreadable_ = false;
};

template <typename T>
T or_stop(std::optional<T> v) {
    if (!v) throw LoadStop{};
    return *v;
}

}  // namespace

void ConfigFile::loadconfig() {
    const Uses& f = f_;
    for (int n = 1; n <= 5; ++n) f.option(n).clear();
    platform::Locale& locale = f.platform.locale();
    const char sep = locale.decimal_separator();
    bool missing = true;
    platform::FileSystem& fs = f.platform.files();
    std::unique_ptr<platform::InputFile> file;
    for (const TableCopy copy : place_.read) {
        if (file || !missing) break;
        file = copy == TableCopy::Beside ? fs.open_read(kConfigFileName, &missing)
                                         : fs.open_redirected(kConfigFileName, &missing);
        redirected_ = file && copy == TableCopy::Redirected;
    }
    if (!file) {
        // A first start saves a new file; a file that exists but cannot be
        // opened (locked, no permission) must not be overwritten by an
        // empty table.
        loaded_ = missing;
        return;
    }
    platform::LineReader reader(*file);
    Lines lines(reader, locale);
    // However the load ends, a later save may write the table back, except
    // when the file broke off while being read or a line of it could not be
    // converted: the part read would replace the whole file.
    struct MarkLoaded {
        bool& flag;
        const platform::LineReader& reader;
        const Lines& lines;
        ~MarkLoaded() { flag = !reader.failed() && !lines.unreadable(); }
    } mark{loaded_, reader, lines};
    try {
        for (int k = 0; k < kSlotCount; ++k) {
            f.t0[k]->set_text(lines.next());
            f.t1[k]->set_text(lines.next());
            if (f.window.unloaded()) return;
        }
        const std::string line61 = lines.next();
        const std::string line62 = lines.next();
        reserved1 = or_stop(parse_int32(line61, sep));
        reserved2 = or_stop(parse_int32(line62, sep));

        const std::string line63 = lines.next();
        const std::string line64 = lines.next();
        f.window.set_top(or_stop(parse_single(line63, sep)));
        f.window.set_left(or_stop(parse_single(line64, sep)));

        const double scheme = or_stop(parse_number(lines.next(), sep));
        for (int n = 1; n <= 5; ++n) {
            if (scheme == n) f.option(n).select();
        }
        f.window.homeleft = f.window.left();
        f.window.hometop = f.window.top();
        home_loaded_ = true;

        const std::string interval = lines.next();
        f.Text2.set_text(interval);
        f.scheduler.updatemins = leading_number(interval);

        f.Check4.set_value(or_stop(parse_int16(lines.next(), sep)));

        const std::string delay = lines.next();
        f.Text3.set_text(delay);
        const double ms = round_half_even(leading_number(delay));
        if (!(ms >= 0 && ms <= 65535)) throw LoadStop{};
        f.dispatch.set_delay(static_cast<unsigned>(ms));

        const bool keywait = or_stop(parse_number(lines.next(), sep)) == 1;
        f.Check5.set_value(keywait ? 1 : 0);
        f.dispatch.keywait = keywait ? 1 : 0;
    } catch (const LoadStop&) {
    } catch (const InvalidPropertyValue&) {
    }
}

void ConfigFile::check_folder() {
    platform::FileSystem& fs = f_.platform.files();
    folder_refuses_ = fs.probe_write();
    place_ = table_place(!folder_refuses_, !fs.redirected_folder().empty());
    if (place_.write == TableCopy::Redirected) fs.write_redirected();
}

std::string ConfigFile::save_folder() const {
    platform::FileSystem& fs = f_.platform.files();
    return place_.write == TableCopy::Redirected ? fs.redirected_folder() : fs.folder();
}

std::optional<std::string> ConfigFile::folder_notice() const {
    if (!folder_refuses_) return std::nullopt;
    const std::string refused = std::string(kConfigFileName) + " cannot be saved in " +
                                f_.platform.files().folder() + ": " + *folder_refuses_;
    if (place_.write == TableCopy::Redirected) {
        return refused + ". It is kept in " + save_folder() + " instead";
    }
    return refused + ". Move Tovira to a folder you can write to";
}

std::string ConfigFile::save_question(const std::string& reason) const {
    return std::string(kConfigFileName) + " cannot be saved in " + save_folder() + ": " + reason +
           ".\n\nRetry to try again, or Cancel to quit without saving: the file keeps what it "
           "held.";
}

std::optional<std::string> ConfigFile::render() const {
    const Uses& f = f_;
    platform::Locale& locale = f.platform.locale();
    const char sep = locale.decimal_separator();

    // A text that cannot be converted must not reach the file as an empty
    // or shortened line: the save then keeps the old file whole.
    std::string text;
    bool converted = true;
    auto line = [&](const std::string& s) {
        const auto bytes = locale.utf8_to_ansi(s);
        if (!bytes) converted = false;
        if (!converted) return;
        text += *bytes;
        text += "\r\n";
    };
    for (int k = 0; k < kSlotCount; ++k) {
        line(f.t0[k]->text());
        line(f.t1[k]->text());
    }
    line(format_number(reserved1, sep));
    line(format_number(reserved2, sep));
    // The place the window stands for: a move that only kept it on the
    // screen is not the user's.
    line(format_single(f.window.unplaced_top(), sep));
    line(format_single(f.window.unplaced_left(), sep));
    int scheme = 0;  // none selected: loads back as no scheme
    for (int n = 1; n <= 5; ++n) {
        if (f.option(n).value()) scheme = n;
    }
    line(format_number(scheme, sep));
    line(f.Text2.text());
    line(format_number(f.Check4.value(), sep));
    line(f.Text3.text());
    line(format_number(f.dispatch.keywait == 1 ? 1 : 0, sep));

    if (!converted) return std::nullopt;
    return text;
}

void ConfigFile::note_unchanged() {
    if (loaded_) unchanged_ = render();
}

void ConfigFile::save_if_changed() {
    if (!loaded_ || !unchanged_) return;
    const std::optional<std::string> text = render();
    if (text && *text == *unchanged_) return;
    save();
}

std::optional<std::string> ConfigFile::save() {
    if (!loaded_) return std::nullopt;
    const std::optional<std::string> rendered = render();
    if (!rendered) return "a text cannot be written in the system's code page";
    const std::string& text = *rendered;

    // The new file is complete before it takes the old one's place; any
    // failure leaves the old file as it was.
    platform::FileSystem& fs = f_.platform.files();
    auto out = fs.create(kConfigTempName);
    if (!out) return fs.last_error();
    const bool written = out->write(text) && out->commit();
    if (!written || !fs.replace(kConfigTempName, kConfigFileName)) {
        std::string why = fs.last_error();
        out.reset();
        fs.remove(kConfigTempName);
        return why;
    }
    unchanged_ = text;
    return std::nullopt;
}

}  // namespace tovira
