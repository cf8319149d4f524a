// "tq.cfg" from arbitrary bytes: the start-up load applies what it can, the
// save writes a well-formed file and leaves no temporary, and loading and
// saving that file again gives the same bytes, under Windows-1252 and
// under UTF-8.
//
// One window serves every input. Before each load it is put back to its
// state after start-up without a file: every value the file holds returns
// to its design value through the window's own setters. That reset checks
// itself: the window then saves exactly what a fresh window saves, so a
// value added to the file later and missed here fails at once rather than
// leaking from one input into the next.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/main_window.h"
#include "backends/sim/sim_platform.h"
#include "fuzz_check.h"

namespace {

using tovira::Form1;

struct World {
    tovira::sim::SimPlatform sim;
    Form1 form{sim};
    std::string fresh[2];  // a fresh window's save, with '.' and with ','

    World() {
        form.Form_Load();
        // The start-up sequence's load; the rest of that sequence (status
        // download, tab order) costs time per input and reads no file.
        form.hide();
        form.loadconfig();  // no file: nothing changes, and a save follows
        form.Command3_Click();
        for (int comma = 0; comma < 2; ++comma) {
            sim.loc.separator = comma ? ',' : '.';
            fresh[comma] = save();
        }
    }

    // The file's values back to their design values. The names are cleared
    // without their reaction (a layout each), and their buttons with them;
    // the next load lays the panel out anyway.
    void reset() {
        for (int k = 0; k < tovira::kSlotCount; ++k) {
            auto reaction = std::move(form.t0[k]->on_change);
            form.t0[k]->set_text(std::string());
            form.t0[k]->on_change = std::move(reaction);
            form.c1[k]->set_caption(std::string());
            form.t1[k]->set_text(std::string());
        }
        form.config.reserved1 = 0;
        form.config.reserved2 = 0;
        form.set_top(0);
        form.set_left(0);
        form.homeleft = 0;
        form.hometop = 0;
        for (int n = 1; n <= 5; ++n) form.option(n).clear();  // as every load starts
        form.Text2->set_text("1");
        form.Check4->set_value(1);
        form.Text3->set_text("100");
        form.Timer4->set_interval(100);
        form.Check5->set_value(0);
        form.dispatch.keywait = 0;
    }

    std::string save() {
        sim.fs.files.clear();
        form.saveconfig();
        return sim.fs.files["tq.cfg"];
    }

    // One start with `file` as tq.cfg, then the save at the end.
    std::string run_once(const std::string& file, char separator, unsigned code_page,
                         bool check_reset) {
        sim.loc.separator = separator;
        sim.loc.code_page = code_page;
        reset();
        // The reset is complete (checked once per input: a save costs as
        // much as a load).
        if (check_reset) FUZZ_CHECK(save() == fresh[separator == ',' ? 1 : 0]);
        sim.fs.files.clear();
        sim.fs.files["tq.cfg"] = file;
        form.loadconfig();
        form.Command3_Click();  // "Minimize": to the home position
        form.saveconfig();      // as at unload
        FUZZ_CHECK(sim.fs.files.count("tq.cfg") == 1);
        FUZZ_CHECK(sim.fs.files.size() == 1);  // no temporary left behind
        return sim.fs.files["tq.cfg"];
    }
};

// 69 lines, each ending in CR LF, and no other CR.
bool well_formed(const std::string& saved) {
    std::size_t lines = 0;
    for (std::size_t i = 0; i < saved.size(); ++i) {
        if (saved[i] != '\r') continue;
        if (i + 1 >= saved.size() || saved[i + 1] != '\n') return false;
        ++lines;
    }
    return lines == 69 && saved.ends_with("\r\n");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A real file is a few kilobytes; 69 lines of 128 bytes each try every
    // line's parser on long text.
    size = std::min<std::size_t>(size, 8 * 1024);
    static World world;
    // The first byte picks the locale's decimal separator and the code page
    // (Windows-1252, or UTF-8 reading stray bytes as 1252), as users differ.
    const char separator = (size > 0 && (data[0] & 1)) ? ',' : '.';
    const unsigned code_page = (size > 0 && (data[0] & 2)) ? tovira::sim::SimLocale::kUtf8 : 1252u;
    const std::string file(reinterpret_cast<const char*>(data), size);
    const std::string first = world.run_once(file, separator, code_page, true);
    FUZZ_CHECK(well_formed(first));
    const std::string second = world.run_once(first, separator, code_page, false);
    FUZZ_CHECK(second == first);
    return 0;
}
