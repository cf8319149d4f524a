// "tq.cfg" from arbitrary bytes: the start-up load applies what it can, the
// save at unload writes a well-formed file, and loading and saving that file
// again gives the same bytes, under Windows-1252 and under UTF-8.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/main_window.h"
#include "fuzz_check.h"
#include "platform/sim/sim_platform.h"

namespace {

using tovira::Form1;

// One run of the program: start-up with `file` as tq.cfg, then close.
std::string run_once(const std::string& file, char separator, unsigned code_page) {
    tovira::sim::SimPlatform sim;
    sim.loc.separator = separator;
    sim.loc.code_page = code_page;
    sim.fs.files["tq.cfg"] = file;
    Form1 form(sim);
    form.Form_Load();
    // The load as the start-up sequence runs it; the rest of that sequence
    // (status download, tab order) costs time per input and reads no file.
    form.hide();
    form.loadconfig();
    form.Command3_Click();  // "Minimize": to the home position
    form.unload();
    FUZZ_CHECK(sim.fs.files.count("tq.cfg") == 1);
    FUZZ_CHECK(sim.fs.files.size() == 1);  // no temporary left behind
    return sim.fs.files["tq.cfg"];
}

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
    if (size > 64 * 1024) return 0;
    // The first byte picks the locale's decimal separator and the code page
    // (Windows-1252, or UTF-8 reading stray bytes as 1252), as users differ.
    const char separator = (size > 0 && (data[0] & 1)) ? ',' : '.';
    const unsigned code_page = (size > 0 && (data[0] & 2)) ? tovira::sim::SimLocale::kUtf8 : 1252u;
    const std::string file(reinterpret_cast<const char*>(data), size);
    const std::string first = run_once(file, separator, code_page);
    FUZZ_CHECK(well_formed(first));
    const std::string second = run_once(first, separator, code_page);
    FUZZ_CHECK(second == first);
    return 0;
}
