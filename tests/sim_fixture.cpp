#include "sim_fixture.h"

namespace tovira::testing {

ConfigLines::ConfigLines() : lines(60) {
    // Lines 61 to 69, constructed in place (GCC 12 at -O3 warns wrongly,
    // -Wrestrict, about assigning short literals here).
    lines.insert(lines.end(), {" 0 ", " 0 ", " 0 ", " 0 ", " 1 ", "1", " 1 ", "100", " 0 "});
}

std::string ConfigLines::text() const {
    std::string out;
    for (const auto& l : lines) {
        out += l;
        out += "\r\n";
    }
    return out;
}

SimTest::SimTest() {
    // The public feed fails at once unless a test serves it, should a test
    // that asks for the feed leave it out.
    sim.urls[std::string(feed_url())] = sim::UrlScript{0, false, "", false, 0};
}
SimTest::~SimTest() = default;

void SimTest::create() {
    sim.quit_requested = false;  // a new run of the program
    form = std::make_unique<Form1>(sim);
    sim.attach(*form);
    form->monitor.addresses.feed_fallback = with_feed;
    if (!with_aurora_refresh) form->aurora_panel.refresh_ms = 0;
    sim.on_display_change = [this] {
        if (form) form->display_changed();
    };
    form->Form_Load();
}

void SimTest::start() {
    create();
    sim.run_for(100);
    // The start-up sequence may wait for servers; run until it has shown.
    for (int i = 0; i < 200 && !form->visible(); ++i) sim.run_for(1000);
}

std::vector<int> SimTest::visible_slots() const {
    std::vector<int> out;
    for (int i = 0; i < kSlotCount; ++i) {
        if (form->c1[i]->visible()) out.push_back(i);
    }
    return out;
}

}  // namespace tovira::testing
