// "tq.cfg": the station table and the settings, 69 lines of CR LF text in
// the system's 8-bit code page, read once at start-up and written at unload.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "config/station_table.h"
#include "config/table_place.h"
#include "controls/controls.h"
#include "platform/platform.h"

namespace tovira {

class Dispatch;
class FormWindow;
class UpdateScheduler;

inline constexpr char kConfigFileName[] = "tq.cfg";
inline constexpr char kConfigTempName[] = "tq.cfg.new";
inline constexpr int kConfigLines = 69;

class ConfigFile {
public:
    // What the load and the save read and write.
    struct Uses {
        platform::Platform& platform;
        FormWindow& window;                           // place, home position
        const ControlArray<TextBox, kFieldRows>& t0;  // names
        const ControlArray<TextBox, kFieldRows>& t1;  // positions
        std::array<OptionButton*, 5> Option;          // colour schemes 1 to 5
        TextBox& Text2;                               // interval field
        CheckBox& Check4;                             // gap box
        TextBox& Text3;                               // delay field
        CheckBox& Check5;                             // KeyWait box
        UpdateScheduler& scheduler;                   // the minutes left
        Dispatch& dispatch;                           // the typing delay, KeyWait

        OptionButton& option(int n) const { return *Option.at(static_cast<std::size_t>(n - 1)); }
    };

    explicit ConfigFile(const Uses& uses) : f_(uses) {}

    // Tries a write in the file's folder and chooses where the table is
    // read and written (table_place.h); `folder_notice` then tells.
    void check_folder();
    // Applies the file line by line; the first error ends the load quietly.
    // The copy of `table_place` that exists is read: where the folder takes
    // writes, the file beside the program, else the copy Windows' file
    // virtualization kept in the user's VirtualStore, which the save then
    // writes beside the program; where it does not, that copy first, and
    // the save writes there.
    void loadconfig();
    // Writes the whole file beside the old one and replaces it in one step;
    // any failure leaves the old file whole. Skipped while the load has not
    // run, or when reading the file failed part way, so that an empty or
    // partial table never overwrites the user's stations. Returns why it
    // failed, or nothing when it saved or was skipped.
    std::optional<std::string> save();
    void saveconfig() { save(); }
    // What the file would hold now is what it holds (nothing was written
    // since the load, or it was written with it).
    void note_unchanged();
    // Saves as `save` does when the table or a setting changed since the
    // last write or `note_unchanged`; before that, nothing.
    void save_if_changed();

    // What the user is told, for the whole run, when the folder refused
    // the write of `check_folder`.
    std::optional<std::string> folder_notice() const;
    // The question after a save at the window's unload failed with `reason`.
    std::string save_question(const std::string& reason) const;
    // The load read the copy in the VirtualStore.
    bool loaded_redirected() const { return redirected_; }

    bool loaded() const { return loaded_; }
    // The load got as far as recording the home position.
    bool home_loaded() const { return home_loaded_; }

    std::int32_t reserved1 = 0;
    std::int32_t reserved2 = 0;

private:
    Uses f_;
    bool loaded_ = false;
    bool home_loaded_ = false;
    bool redirected_ = false;
    std::optional<std::string> folder_refuses_;  // why, when it does
    TablePlace place_ = table_place(true, false);
    std::optional<std::string> unchanged_;  // the bytes last written, or loaded as they are
    // The file's bytes as the window and the controls hold them now; null
    // when a text cannot be written in the code page.
    std::optional<std::string> render() const;
    // Where the save writes, as the user knows it.
    std::string save_folder() const;
};

}  // namespace tovira
