#include "platform/window_verdict.h"

#include <gtest/gtest.h>

#include <vector>

namespace tovira::platform {
namespace {

WindowFacts window(const char* title, const char* image = "C:\\IvAc\\IvAc.exe",
                   const char* cls = "TIvacMain", bool hung = false,
                   Integrity integrity = Integrity::NotHigher) {
    return {title, image, cls, hung, integrity};
}

// Every desktop against one promise: the keys go to IvAc's own window or
// nowhere, and a desktop without one sends the click to Aurora.
TEST(WindowVerdictTest, OnlyIvacsOwnWindowIsTheTargetAndTheRestCountAsNoWindow) {
    struct Case {
        const char* name;
        std::vector<WindowFacts> windows;  // front first
        Verdict verdict;
        std::size_t index;
    };
    const Case cases[] = {
        {"none", {}, Verdict::NoWindow, 0},
        {"exact title", {window("Notepad"), window("IvAc")}, Verdict::Target, 1},
        {"exact wins over an earlier prefix",
         {window("IvAc - EDDT"), window("IvAc")},
         Verdict::Target,
         1},
        {"the first prefix", {window("IvAc - A"), window("IvAc - B")}, Verdict::Target, 0},
        {"case as given", {window("IVAC"), window("ivac")}, Verdict::NoWindow, 0},
        {"the title is only contained", {window("My IvAc")}, Verdict::NoWindow, 0},
        {"File Explorer, Windows 11, upper case",
         {window("IvAc - File Explorer", "C:\\WINDOWS\\EXPLORER.EXE")},
         Verdict::NoWindow,
         0},
        {"browsers, whatever their folder or case",
         {window("IvAc manual - Microsoft Edge", "C:\\Program Files\\msedge.exe"),
          window("IvAc", "chrome.exe"), window("IvAc", "D:/Apps/Firefox/firefox.exe"),
          window("IvAc", "opera.exe"), window("IvAc", "brave.exe"), window("IvAc", "Vivaldi.exe"),
          window("IvAc", "iexplore.exe")},
         Verdict::NoWindow,
         0},
        {"a name that only ends like a browser's",
         {window("IvAc", "C:\\x\\mychrome.exe")},
         Verdict::Target,
         0},
        {"the ghost of a hung IvAc",
         {window("IvAc (Not Responding)", "C:\\Windows\\dwm.exe", "Ghost")},
         Verdict::NoWindow,
         0},
        {"Explorer in front of IvAc",
         {window("IvAc", "explorer.exe"), window("IvAc - EDDT")},
         Verdict::Target,
         1},
        {"image unknown", {window("IvAc", "")}, Verdict::Target, 0},
        {"hung", {window("IvAc", "IvAc.exe", "TIvacMain", true)}, Verdict::Hung, 0},
        {"ghost in front of the hung IvAc",
         {window("IvAc (Not Responding)", "dwm.exe", "Ghost"),
          window("IvAc", "IvAc.exe", "TIvacMain", true)},
         Verdict::Hung,
         1},
        {"higher integrity",
         {window("IvAc", "IvAc.exe", "TIvacMain", false, Integrity::Higher)},
         Verdict::Elevated,
         0},
        {"token refused",
         {window("IvAc", "IvAc.exe", "TIvacMain", false, Integrity::TokenRefused)},
         Verdict::Elevated,
         0},
        {"process not opened: go on",
         {window("IvAc", "", "TIvacMain", false, Integrity::Unknown)},
         Verdict::Target,
         0},
    };
    for (const Case& c : cases) {
        const WindowChoice got = choose_window(c.windows, "IvAc");
        EXPECT_EQ(got.verdict, c.verdict) << c.name;
        if (c.verdict != Verdict::NoWindow) {
            EXPECT_EQ(got.index, c.index) << c.name;
            EXPECT_FALSE(never_the_target(c.windows[got.index])) << c.name;
        }
    }
}

}  // namespace
}  // namespace tovira::platform
