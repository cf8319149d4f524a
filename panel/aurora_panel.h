// The panel's second source, an extension: the stations Aurora lists now
// show on the panel between the network's updates, and "From Aurora" fills
// the empty slots of the station table from Aurora's transfer list. Where
// Aurora's access does not answer, the panel is the network's alone.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "aurora/aurora_link.h"
#include "aurora/aurora_stations.h"
#include "config/station_table.h"
#include "controls/controls.h"
#include "platform/platform.h"

namespace tovira {

class PanelLayout;
class StatusMonitor;

// Aurora is asked for its stations this often.
inline constexpr unsigned kAuroraRefreshMs = 15000;

// The refresh interval "--aurora-refresh-ms N" (or "=N") names, for tests:
// 1 to 65535, or 0 for no refresh (the handover's tests, whose stand-in
// counts every line); kAuroraRefreshMs without it. An invalid value is
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
        AuroraLink& link;                             // the panel's own connection to Aurora
        AuroraCurrentList& list;                      // Aurora's current list
        StatusMonitor& monitor;                       // the online check's path for a slot
        PanelLayout& layout;                          // collapse, when a flag changed
    };

    explicit AuroraPanel(const Uses& uses);
    AuroraPanel(const AuroraPanel&) = delete;
    AuroraPanel& operator=(const AuroraPanel&) = delete;

    // Set before the window loads; 0: no refresh (tests).
    unsigned refresh_ms = kAuroraRefreshMs;

    // Asks Aurora at once and then every `refresh_ms`, answering or not: a
    // restarted Aurora is found again by itself. "#CONN" whenever the link
    // is not connected, then "#ATC".
    void start();
    // Quit: no more asking.
    void stop();
    // "From Aurora": the controller's own station, the transfer list and
    // the station list, then the fill.
    void Command9_Click();

    // The controller's own station as Aurora last named it; empty: unknown.
    const std::string& own_station() const { return own_; }

    // The balloon's texts where Aurora gave nothing.
    static const char kNoAccess[];
    static const char kNoAnswer[];
    static const char kClosed[];
    static const char kNotUnderstood[];

    // Aurora's current list changed (or may have): each slot whose online
    // state changed since the last check or refresh follows it, and the
    // layout runs only then. While the show-all box is ticked each slot's
    // online state is only recorded.
    void list_changed();
    // Writes a fill into the table as typed, shows the newly named slots
    // Aurora lists, and says what happened at the button.
    void apply_fill(const AuroraFill& fill);
    // A slot with neither a name nor a position: room for the fill.
    bool has_empty_slot() const;

private:
    void refresh();
    // Aurora closed the connection: its list is emptied and applied at
    // once, not at the next refresh.
    void link_closed();
    void ask_stations();
    // An #ATC answer (or its failure) into the current list; the stations
    // it listed, if it was a list.
    std::optional<std::vector<AuroraStation>> take_list(const AuroraReply& reply);
    void take_own(const AuroraReply& reply);
    void fill_failed(const AuroraReply& reply);
    void say(const std::string& text);

    Uses f_;
    Timer timer_;
    bool refreshing_ = false;  // a refresh's requests are under way
    bool filling_ = false;     // a click's requests are under way
    std::string own_;
    std::vector<AuroraStation> transfer_;
};

}  // namespace tovira
