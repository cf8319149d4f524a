// What every end-to-end scenario uses: starting tovira.exe and the
// stand-ins, finding its windows and controls, presses as a hand makes them,
// reading tool tips and the result balloon, the status servers' control, and
// the report (check, say, figures). harness.cpp holds it, but for the
// settings, tq.cfg and the status servers' files (harness_servers.cpp). The
// scenarios sit in one file per area (scenarios.h lists them);
// e2e_driver.cpp runs them in one ordered table.
#pragma once

// winsock2.h before windows.h, windows.h before the rest
#include <winsock2.h>
// clang-format off
#include <windows.h>
// clang-format on
#include <commctrl.h>

#include <cstdarg>
#include <functional>
#include <string>
#include <vector>

namespace e2e {

// ---------------------------------------------------------------- basics

extern LARGE_INTEGER g_freq;  // QueryPerformanceFrequency, set first in wmain
extern int g_failures;        // failed checks in the current scenario

double nowMs();                             // the performance counter in ms
std::string u8(const std::wstring& w);      // UTF-16 to UTF-8, for messages
std::wstring wide(const std::string& s);    // UTF-8 to UTF-16
std::string visible(const std::string& s);  // control characters spelled out
void say(const char* fmt, ...);             // one indented report line
// A failed check: reported with FAIL and counted; returns `ok`.
bool check(bool ok, const char* fmt, ...);
// Polls `cond` every `pollMs` until it holds or `timeoutMs` passed.
bool waitFor(const std::function<bool()>& cond, double timeoutMs, int pollMs = 20);
double median(std::vector<double> v);

// ---------------------------------------------------------------- files

bool readFile(const std::wstring& path, std::string& out);  // shared with a writer
void makeDirs(const std::wstring& path);                    // every missing folder
bool writeFile(const std::wstring& path, const std::string& data);
bool fileExists(const std::wstring& path);
std::vector<std::string> lines(const std::string& s);  // split at LF, CR kept

// ---------------------------------------------------------------- settings (harness_servers.cpp)

struct Options {
    std::wstring exe, stub, work, www, shots, demo;
    std::vector<std::string> only;
};
extern Options g_opt;  // the driver's command line

// ---------------------------------------------------------------- tq.cfg, status servers (ditto)

struct Slot {
    int index;
    std::string name, position;
};

// A tq.cfg: its stations and the settings' lines as the program writes them.
struct Cfg {
    std::vector<Slot> slots;
    std::string top = " 0 ", left = " 0 ", scheme = " 1 ", interval = "5", gap = " 1 ",
                delay = "100", keywait = " 0 ";
};

std::string render(const Cfg& c);  // the 69 CR LF lines of a tq.cfg

// The stations of most scenarios: four of them staffed, one without a position.
extern const std::vector<Slot> kSlots;
Cfg standardCfg();  // kSlots, every setting at its default

struct Staffed {
    int slot;
    std::string callsign, name, freq;
};
extern const std::vector<Staffed> kStaffed;  // the controllers of statusFile()
std::vector<int> staffedSlots();             // their slots, in order

std::string statusFile();                        // a status file with kStaffed and others
std::string shownFreq(const std::string& f);     // a frequency as its label shows it
void serveIndex(const std::string& statusHost);  // the index names this status host
void serveIndexUrl(const std::string& url);      // the index names this URL
void serveStatus(const std::string& body);       // the status host's whazzup.txt
void setIndexDelay(double seconds);              // the index server answers this late
size_t lineCount(const wchar_t* logName);        // lines of a server log (requests.log ...)

// The built-in index named as a private one: every update takes the index
// path, even after one that yielded no client.
extern const wchar_t kIndexEveryUpdate[];

// ---------------------------------------------------------------- processes and windows

struct Proc {
    HANDLE h = nullptr;
    DWORD pid = 0;
};

// Starts a program in `cwd`, its output to `log`.
Proc launch(const std::wstring& exe, const std::wstring& args, const std::wstring& cwd,
            const std::wstring& log);
bool running(const Proc& p);
void kill(Proc& p);  // terminates if still running, closes the handle

HWND topWindow(DWORD pid, const wchar_t* title);  // a top-level window of `pid`
std::wstring text(HWND h);     // WM_GETTEXT with a time-out; "<no answer>" if hung
HWND item(HWND main, int id);  // a control by its fixed ID, also inside a container
bool click(HWND h);            // BM_CLICK; returns when the program has handled it
int px(double twips);          // twips to screen pixels
double answerMs(HWND h);       // how long the window takes to answer a message

// The program's fixed control IDs.
namespace id {
inline int c1(int i) {  // station button
    return 1000 + i;
}
inline int l1(int i) {  // station frequency label
    return 1100 + i;
}
inline int t0(int i) {  // station name field
    return 1200 + i;
}
inline int t1(int i) {  // station position field
    return 1300 + i;
}
constexpr int Check1 = 2001, Command2 = 2102, Command3 = 2103, Command5 = 2105, Command7 = 2107;
constexpr int Label5 = 2305, Label8 = 2308;
}  // namespace id

// ---------------------------------------------------------------- presses as a hand makes them

void holdKey(WORD vk, bool down);  // one key down or up through SendInput
// A left-button press at the middle of `h`, held `holdMs`; the moments of both.
void pressAt(HWND h, int holdMs, double& down, double& up);

// ---------------------------------------------------------------- tool tips and the balloon

std::vector<HWND> toolTipWindows(DWORD pid);  // every tool tip window of `pid`
std::wstring toolTip(DWORD pid, HWND tool);   // the tip text of another process's control
// The text of the visible result balloon of `pid` ("" while none shows).
std::wstring balloon(DWORD pid, HWND* found = nullptr);

// ---------------------------------------------------------------- figures

// Printed once after every scenario, by e2e_driver.cpp.
struct Figures {
    std::vector<std::string> latencies;  // "152.1 ms (delay 100)"
    std::vector<double> steps;
    double waitCpuMs = -1, waitWallMs = -1;
    SIZE_T peakWorkingSet = 0;
    long long exeSize = -1;
    double closeMs = -1, quitMs = -1, updateMs = -1;
    std::vector<double> startMs;           // from CreateProcess to the panel shown
    double stubExitMs = -1;                // the same for a trivial window: Wine's own share
    std::vector<std::string> hostile;      // "drip: 2981 ms, longest stall 12 ms"
    std::vector<std::string> fetchBounds;  // per hostile index server
    SIZE_T hostilePeak = 0;
    // A click restoring a minimised IvAc that is busy for 3 s: the longest
    // the panel took to answer a message and to repaint.
    double busyAnswerMs = -1, busyPaintMs = -1;
};
extern Figures g_fig;

struct PressFigures {
    std::vector<std::string> restart;  // press to the first key of the pressed station
};
extern PressFigures g_pressFig;

struct FeedFigures {
    std::string agent;  // the User-Agent of the feed request
    std::string sent;   // the encoding the server chose for the feed
    double startMs = -1, updateMs = -1, untrustedStartMs = -1, untrustedUpdateMs = -1;
    double untrustedStall = -1;
    std::string oversized;
    std::string plainLarge;  // the 32 MiB plain feed's throughput
};
extern FeedFigures g_feedFig;

struct AuroraFigures {
    std::vector<double> toTransfer;     // click to #TRTR received
    std::vector<double> toShown;        // click to the result in the balloon
    std::vector<double> toTransferred;  // click to "transferred" in the balloon
    double refusedStall = -1, backlogStall = -1, silentStall = -1;
    double backlogShown = -1;
    // Click to #TRTR received, with the panel's slow list pending and without.
    std::vector<double> slowPending, slowNone;
};
extern AuroraFigures g_aurora;

double cpuMs(HANDLE h);  // a process's CPU time, kernel and user

// ---------------------------------------------------------------- Tovira

struct Tovira {
    Proc p;
    double started = 0;
    HWND main = nullptr;
    std::wstring dir;
};

std::wstring scenarioDir(const char* name);  // the scenario's folder, without tq.cfg
// Copies tovira.exe into `dir`, starts it there and waits for its window.
bool startTovira(const std::wstring& dir, Tovira& t, const std::wstring& args = L"");
bool isNumber(const std::wstring& s);
// Waits for the end of start-up: the panel shown (with `staffedSlot` >= 0:
// that button visible with `caption`); notes the start figure.
bool waitReady(Tovira& t, int staffedSlot, const std::string& caption = {});
// Serves the suite's stations, writes `cfg`, starts Tovira and waits until
// its panel shows them.
bool startStaffed(const char* name, Tovira& t, const Cfg& cfg, const std::wstring& args = L"");
SIZE_T peakOf(const Tovira& t);  // its peak working set
void notePeak(const Tovira& t);  // into the ordinary scenarios' peak figure
void stopTovira(Tovira& t);      // WM_CLOSE, then terminate if it hangs

std::vector<int> visibleSlots(const Tovira& t);  // the stations the panel shows
std::string list(const std::vector<int>& v);     // "{0,2,10}"
// Posts a click on "ATC's available" and returns at once: the update runs
// while the driver watches.
void requestUpdate(const Tovira& t);
// The user brings the panel to the front before clicking, as a mouse click
// on it would: every activation of IvAc then has to change the foreground.
bool panelToFront(const Tovira& t);
// Clicks `slot` and waits for the balloon to say `want`, asking the window
// every 20 ms meanwhile; returns the time to the balloon (-1: it never
// came) and the longest the window took to answer.
double clickForBalloon(Tovira& t, int slot, const std::wstring& want, double& stall,
                       double* clickedAt = nullptr, double timeoutMs = 6000);

// The balloon's reason when neither IvAc nor Aurora takes a handover.
extern const wchar_t kAuroraNoAccess[];

// Writes DIR/<view>.req and waits for the calling script's DIR/<view>.done.
bool takeShot(const char* view, RECT r);
// Has the calling script make `dir` (a folder of this run, on Z:) read-only
// for everyone, root included, or writable again; true once it is.
bool mountReadOnly(const std::wstring& dir, bool readOnly);

// ---------------------------------------------------------------- the IvAc stand-in

struct Stub {
    Proc p;
    HWND wnd = nullptr;
    std::wstring log;
};

// Starts ivac_stub.exe titled `title`; `extra`: its behaviour options
// (--late, --never, --on-f4 ...). Returns once its window took the activation.
bool startStub(const std::wstring& dir, const std::wstring& title, Stub& s,
               const std::wstring& extra = L"");
void stopStub(Stub& s);  // WM_CLOSE, notes the stand-in's exit figure

// ---------------------------------------------------------------- the Aurora stand-in

struct Aurora {
    Proc p;
    HWND wnd = nullptr;
    std::wstring log;  // every line it received and answered
};

// Starts aurora_stub.exe with its options `extra` (traffic DLH4CW selected
// unless told otherwise). Returns once it listens (with --never-accept: once
// its backlog is full).
bool startAurora(const std::wstring& dir, Aurora& a, const std::wstring& extra = L"");
void stopAurora(Aurora& a);  // WM_CLOSE, then ends it

}  // namespace e2e
