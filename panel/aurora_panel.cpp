#include "panel/aurora_panel.h"

#include <array>
#include <string_view>

#include "monitor/status_parser.h"
#include "panel/panel_layout.h"

namespace tovira {

unsigned aurora_refresh_ms_from_command_line(std::span<const std::string> args) {
    constexpr std::string_view kOption = "--aurora-refresh-ms";
    unsigned ms = kAuroraRefreshMs;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        std::string_view val;
        if (arg == kOption) {
            if (i + 1 >= args.size() || args[i + 1].starts_with("--")) continue;
            val = args[++i];
        } else if (arg.starts_with(kOption) && arg.size() > kOption.size() &&
                   arg[kOption.size()] == '=') {
            val = arg.substr(kOption.size() + 1);
        } else {
            continue;
        }
        unsigned n = 0;
        bool ok = !val.empty() && val.size() <= 5;
        for (char c : val) {
            ok = ok && c >= '0' && c <= '9';
            if (ok) n = n * 10 + static_cast<unsigned>(c - '0');
        }
        if (ok && n >= 1 && n <= 65535) ms = n;
    }
    return ms;
}

void AuroraPanel::list_changed() {
    const Uses& f = f_;
    // Every flag is the user's while the show-all box is ticked.
    if (f.Check3.value() == 1) return;
    if (f.monitor.aurora_refreshed()) f.layout.collapse();
}

bool AuroraPanel::has_empty_slot() const {
    for (int i = 0; i < kSlotCount; ++i) {
        if (f_.t0[i]->text().empty() && f_.t1[i]->text().empty()) return true;
    }
    return false;
}

void AuroraPanel::apply_fill(const AuroraFill& fill) {
    const Uses& f = f_;
    for (const AuroraFill::Added& a : fill.added) {
        // Each set runs the field's reactions: the name becomes the
        // button's caption and the layout runs. Nothing is saved until
        // the user saves.
        f.t0[a.slot]->set_text(a.callsign);
        f.t1[a.slot]->set_text(a.callsign);
    }
    if (!fill.added.empty()) list_changed();
    say(fill_text(fill));
}

void AuroraPanel::say(const std::string& text) {
    f_.platform.show_balloon(f_.Command9.id(), text);
}

}  // namespace tovira
