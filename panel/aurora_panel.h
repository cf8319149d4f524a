// The panel's second source, an extension: the stations Aurora lists now
// show on the panel between the network's updates, and "From Aurora" fills
// the empty slots of the station table from Aurora's transfer list. Where
// Aurora's access does not answer, the panel is the network's alone.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "aurora/aurora_stations.h"
#include "config/station_table.h"
#include "controls/controls.h"
#include "platform/platform.h"

namespace tovira {

class PanelLayout;
class StatusMonitor;

// Aurora is asked for its stations this often.
inline constexpr unsigned kAuroraRefreshMs = 15000;

// The refresh interval "--aurora-refresh-ms N" (or "=N") names, 1 to
// 65535, for tests; kAuroraRefreshMs without it. An invalid value is
// ignored; the last one holds.
unsigned aurora_refresh_ms_from_command_line(std::span<const std::string> args);

class AuroraPanel {
public:
    // What the refresh and "From Aurora" read and change.
    struct Uses {
        platform::Platform& platform;
        const ControlArray<TextBox, kFieldRows>& t0;  // names: filled as if typed
        const ControlArray<TextBox, kFieldRows>& t1;  // positions: filled as if typed
        const CheckBox& Check3;                       // show-all box: no flag changes while ticked
        const CommandButton& Command9;                // "From Aurora": the balloon's place
        AuroraCurrentList& list;                      // Aurora's current list
        StatusMonitor& monitor;                       // the online check's path for a slot
        PanelLayout& layout;                          // collapse, when a flag changed
    };

    explicit AuroraPanel(const Uses& uses) : f_(uses) {}

    // Set before the window loads.
    unsigned refresh_ms = kAuroraRefreshMs;

    // Aurora's current list changed (or may have): each slot whose online
    // state changed since the last check or refresh follows it, and the
    // layout runs only then.
    void list_changed();
    // Writes a fill into the table as typed, shows the newly named slots
    // Aurora lists, and says what happened at the button.
    void apply_fill(const AuroraFill& fill);
    // The empty slots' names and positions, for the fill.
    bool has_empty_slot() const;

private:
    void say(const std::string& text);
    Uses f_;
};

}  // namespace tovira
