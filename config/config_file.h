// "tq.cfg": the station table and the settings, 69 lines of CR LF text in
// the system's 8-bit code page, read once at start-up and written at unload.
#pragma once

#include <array>
#include <cstdint>

#include "config/station_table.h"
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

    // Applies the file line by line; the first error ends the load quietly.
    void loadconfig();
    // Writes the whole file beside the old one and replaces it in one step;
    // any failure leaves the old file whole. Skipped while the load has not
    // run, or when reading the file failed part way, so that an empty or
    // partial table never overwrites the user's stations.
    void saveconfig();

    bool loaded() const { return loaded_; }
    // The load got as far as recording the home position.
    bool home_loaded() const { return home_loaded_; }

    std::int32_t reserved1 = 0;
    std::int32_t reserved2 = 0;

private:
    Uses f_;
    bool loaded_ = false;
    bool home_loaded_ = false;
};

}  // namespace tovira
