// A main window on the simulated platform, and helpers to build tq.cfg
// files and drive the window as a user would.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/main_window.h"
#include "backends/sim/sim_platform.h"

namespace tovira::testing {

// `prefix` followed by the number ("S3"), built by appending: GCC 12 warns
// wrongly (-Wrestrict, at -O3) about `"S" + std::to_string(n)`.
inline std::string numbered(std::string_view prefix, long long n) {
    std::string s(prefix);
    s += std::to_string(n);
    return s;
}

// The 69 lines of a configuration file, as a test edits them.
struct ConfigLines {
    std::vector<std::string> lines;
    ConfigLines();  // every slot empty, the values a first save writes
    std::string& name(int slot) { return lines[2 * slot]; }
    std::string& position(int slot) { return lines[2 * slot + 1]; }
    std::string& operator[](int line_number) { return lines[line_number - 1]; }  // 1-based
    std::string text() const;  // CR LF after every line
};

class SimTest : public ::testing::Test {
protected:
    SimTest();
    ~SimTest() override;

    // Creates the window (its creation steps) without running time.
    void create();
    // Creates the window and runs the start-up sequence to its end.
    void start();
    void write_config(const std::string& bytes) { sim.fs.files["tq.cfg"] = bytes; }
    std::string saved_config() {
        return sim.fs.files.count("tq.cfg") ? sim.fs.files["tq.cfg"] : "<none>";
    }
    // Titles of the visible station buttons, by slot.
    std::vector<int> visible_slots() const;

    // Off: the index path alone on every update, as the tests of that path
    // expect; on, the feed stands in and takes over from a retired index.
    bool with_feed = false;
    // Off: Aurora is asked only by a click, as the handover's tests expect;
    // on, the panel asks for its stations from the start.
    bool with_aurora_refresh = false;
    sim::SimPlatform sim;
    std::unique_ptr<Form1> form;
};

}  // namespace tovira::testing
