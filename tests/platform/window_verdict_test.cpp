#include "platform/window_verdict.h"

#include <gtest/gtest.h>

#include <vector>

namespace tovira::platform {
namespace {

WindowFacts window(const char* title, const char* image = "C:\\IvAc\\IvAc.exe",
                   const char* cls = "TIvacMain", bool hung = false,
                   Integrity integrity = Integrity::NotHigher, Barrier barrier = Barrier::Passed,
                   bool ime_open = false) {
    return {title, image, cls, hung, integrity, barrier, ime_open};
}

// Every desktop against one promise: the keys go to IvAc's own window or
// nowhere, and a desktop without one sends the click to Aurora.
TEST(WindowVerdictTest, OnlyIvacsOwnWindowIsTheTargetAndTheRestCountAsNoWindow) {
    struct Case {
        const char* name;
        Verdict verdict;
        std::size_t index;
        std::vector<WindowFacts> windows;  // front first
    };
    using V = Verdict;
    using I = Integrity;
    using B = Barrier;
    // The ghost's program runs under its own account: its token is refused.
    const WindowFacts ghost = window("IvAc (Not Responding)", "C:\\Windows\\dwm.exe", "Ghost",
                                     false, I::TokenRefused, B::Unknown);
    const WindowFacts hung = window("IvAc", "IvAc.exe", "TIvacMain", true);
    const auto with = [](I i, B b = B::Unknown, bool ime = false) {
        return window("IvAc", "", "TIvacMain", false, i, b, ime);
    };
    const Case cases[] = {
        {"none", V::NoWindow, 0, {}},
        {"exact title", V::Target, 1, {window("Notepad"), window("IvAc")}},
        {"exact beats an earlier prefix", V::Target, 1, {window("IvAc - EDDT"), window("IvAc")}},
        {"the first prefix", V::Target, 0, {window("IvAc - A"), window("IvAc - B")}},
        {"case as given", V::NoWindow, 0, {window("IVAC"), window("ivac")}},
        {"the title is only contained", V::NoWindow, 0, {window("My IvAc")}},
        {"File Explorer, Windows 11, upper case",
         V::NoWindow,
         0,
         {window("IvAc - File Explorer", "C:\\WINDOWS\\EXPLORER.EXE")}},
        {"browsers, whatever their folder or case",
         V::NoWindow,
         0,
         {window("IvAc manual - Microsoft Edge", "C:\\Program Files\\msedge.exe"),
          window("IvAc", "chrome.exe"), window("IvAc", "D:/Apps/Firefox/firefox.exe"),
          window("IvAc", "opera.exe"), window("IvAc", "brave.exe"), window("IvAc", "Vivaldi.exe"),
          window("IvAc", "iexplore.exe")}},
        {"only ends like a browser", V::Target, 0, {window("IvAc", "C:\\x\\mychrome.exe")}},
        {"the ghost of a hung IvAc", V::Hung, 0, {ghost}},
        {"another's ghost", V::NoWindow, 0, {window("Notepad (Not Responding)", "", "Ghost")}},
        {"Explorer in front",
         V::Target,
         1,
         {window("IvAc", "explorer.exe"), window("IvAc - EDDT")}},
        {"image unknown", V::Target, 0, {window("IvAc", "")}},
        {"hung", V::Hung, 0, {hung}},
        {"ghost in front of the hung IvAc", V::Hung, 1, {ghost, hung}},
        {"higher integrity", V::Elevated, 0, {with(Integrity::Higher)}},
        {"token refused", V::Elevated, 0, {with(Integrity::TokenRefused)}},
        {"process not opened: go on", V::Target, 0, {with(Integrity::Unknown)}},
        {"barrier refused, token not higher", V::Elevated, 0, {with(I::NotHigher, B::Refused)}},
        {"barrier refused, process not opened", V::Elevated, 0, {with(I::Unknown, B::Refused)}},
        {"token refused, barrier passed", V::Target, 0, {with(I::TokenRefused, B::Passed)}},
        {"higher token, barrier passed", V::Elevated, 0, {with(I::Higher, B::Passed)}},
        {"input method open", V::ImeOpen, 0, {with(I::NotHigher, B::Passed, true)}},
        {"input method open, elevated", V::Elevated, 0, {with(I::Unknown, B::Refused, true)}},
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
