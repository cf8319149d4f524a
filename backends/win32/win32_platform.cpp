// The Win32 backend of the core: the platform object and the message loop.
//
// Implements here: the backend's creation (Winsock, common controls, the
// main window "Tovira" and its tool tip window), attaching the form,
// window timers, one PeekMessage pass as `do_events`, waits that sleep in
// MsgWaitForMultipleObjectsEx until a message or the deadline, every event
// for the core handed to the core's event gate (which keeps them while the
// dispatch waits: activation, typing, held modifiers), the gate's
// deliveries coming back as posted messages, and the end of the program.
//
// The other concerns are in files of their own: text.cpp and code_page.cpp
// (texts and code pages), files.cpp, locale.cpp, tcp_socket.cpp,
// url_fetch.cpp, fetch_child.cpp, keystrokes.cpp, activation.cpp,
// balloon.cpp (a click's outcome or a notice beside the panel), window.cpp
// (the window, its messages, the question in a message box),
// window_controls.cpp (the mirrored controls), main.cpp (the entry point).
// Their shared state, `Win32Data`, is in win32_internal.h.
#include "backends/win32/win32_platform.h"

#include "backends/win32/win32_internal.h"
#include "window/form_window.h"

namespace tovira::win32 {

namespace {

constexpr wchar_t kWindowClass[] = L"ToviraMainWindow";

}  // namespace

void core_event(Win32Data& d, std::function<void()> event, platform::EventKind kind) noexcept {
    if (!d.gate) return;
    guarded([&] {
        d.gate->deliver(
            [&d, event = std::move(event)] {
                if (d.form && !d.quitting) guarded(event);
            },
            kind);
    });
}

namespace {

void dispatch(Win32Data& d, MSG& m) {
    if (m.message == WM_QUIT) {
        d.quitting = true;
        return;
    }
    if (d.window && IsDialogMessageW(d.window, &m)) return;
    TranslateMessage(&m);
    DispatchMessageW(&m);
}

}  // namespace

// Runs what is queued now, once; true when anything ran.
bool pump(Win32Data& d) {
    bool ran = false;
    // A delivery of kept events whose post failed happens here.
    if (d.gate && !d.quitting) guarded([&] { d.gate->loop_pass(); });
    MSG m;
    // Bounded, so that a flood of posted messages cannot hold the caller.
    for (int budget = 1000; budget > 0 && PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE); --budget) {
        dispatch(d, m);
        ran = true;
        if (d.quitting) break;
    }
    return ran;
}

namespace {

// The tool tip window is not owned by the main window, so it goes separately.
void destroy_windows(Win32Data& d) {
    if (d.tooltip) DestroyWindow(d.tooltip);
    d.tooltip = nullptr;
    if (d.balloon) DestroyWindow(d.balloon);
    d.balloon = nullptr;
    if (d.window) DestroyWindow(d.window);
}

// When the program ends, its windows only leave the screen: the end of the
// process takes them all at once. Destroying the window with its ~180
// controls one by one, each with its round of messages, kept a closed panel
// alive for 130-160 ms under Wine, and far longer on a busy machine; the
// process now ends a few milliseconds after the save.
void hide_windows(Win32Data& d) {
    if (d.tooltip) ShowWindow(d.tooltip, SW_HIDE);
    if (d.balloon) ShowWindow(d.balloon, SW_HIDE);
    if (d.window) ShowWindow(d.window, SW_HIDE);
}

}  // namespace

// ---- Win32Platform ----------------------------------------------------------------------

Win32Platform::Win32Platform(void* instance) : d_(std::make_unique<Win32Data>()) {
    Win32Data& d = *d_;
    g_data = &d;
    d.gate = std::make_unique<platform::EventGate>(*this);
    d.instance = static_cast<HINSTANCE>(instance);
    QueryPerformanceFrequency(&d.qpc_frequency);
    WSADATA wsa;
    d.winsock = WSAStartup(MAKEWORD(2, 2), &wsa) == 0;

    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = sizeof icc;
    icc.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
    InitCommonControlsEx(&icc);

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = window_proc;
    wc.hInstance = d.instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    wc.lpszClassName = kWindowClass;
    RegisterClassExW(&wc);

    d.background = CreateSolidBrush(colour(kNavy));
    const std::wstring caption = widen(kWindowCaption);
    // Borderless: the panel is moved by dragging its surface. The system
    // menu and minimize box give it Alt+F4 and the task bar's menu.
    d.window = CreateWindowExW(0, kWindowClass, caption.c_str(),
                               WS_POPUP | WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, 80,
                               540, nullptr, nullptr, d.instance, nullptr);
    if (!d.window) return;
    d.dpi = GetDpiForWindow(d.window);
    if (d.dpi == 0) d.dpi = USER_DEFAULT_SCREEN_DPI;
    d.system_dpi = GetDpiForSystem();
    if (d.system_dpi == 0) d.system_dpi = USER_DEFAULT_SCREEN_DPI;
    // The tool tip window has no owner: under Wine a main window that owns a
    // topmost popup never enters the always-on-top band itself. Being topmost
    // on its own, the tip still shows above the panel.
    d.tooltip =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, d.instance, nullptr);
    if (d.tooltip) SendMessageW(d.tooltip, TTM_SETMAXTIPWIDTH, 0, 600);
}

Win32Platform::~Win32Platform() {
    Win32Data& d = *d_;
    d.form = nullptr;
    for (auto& [id, sink] : d.timer_sinks) {
        if (d.window) KillTimer(d.window, id);
    }
    d.timer_sinks.clear();
    d.timer_ids.clear();
    if (!d.quitting) destroy_windows(d);
    for (auto& [c, b] : d.brushes) DeleteObject(b);
    for (auto& [key, f] : d.fonts) DeleteObject(f);
    if (d.background) DeleteObject(d.background);
    // No WSACleanup: a name resolution thread may still be inside
    // getaddrinfo, and the process ends right after this anyway.
    g_data = nullptr;
}

bool Win32Platform::ready() const {
    return d_->window != nullptr;
}

void Win32Platform::attach(platform::WindowHost& window) {
    Win32Data& d = *d_;
    d.form = &window;
    const platform::Bounds bounds = window.window_bounds();
    d.left = bounds.left;
    d.top = bounds.top;
    d.width = bounds.width;
    d.height = bounds.height;
    if (!d.window) return;
    for (Control* c : window.window_controls()) create_control(d, *c);
    apply_tab_order(d);
    window_background_changed(window.window_back_color());
}

void Win32Platform::detach() {
    Win32Data& d = *d_;
    // The controls go with the form: the window must not outlive them, or,
    // when the program ends, it stays hidden without them until the process
    // is gone.
    if (!d.quitting) destroy_windows(d);
    d.form = nullptr;
    d.gate->clear();
    for (auto& e : d.controls) e->control = nullptr;
    d.by_control.clear();
}

void Win32Platform::answer_second_start(unsigned message) {
    d_->second_start_message = message;
}

void Win32Platform::run() {
    while (!d_->quitting) wait_events(INT64_MAX);
}

platform::Millis Win32Platform::now_ms() {
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    const LONGLONG f = d_->qpc_frequency.QuadPart;
    return static_cast<platform::Millis>(c.QuadPart / f * 1000 + c.QuadPart % f * 1000 / f);
}

void Win32Platform::start_timer(platform::TimerSink& timer, unsigned interval_ms) {
    Win32Data& d = *d_;
    stop_timer(timer);
    d.gate->drop_tick(timer);
    if (!d.window || d.quitting) return;
    // A fresh ID per start: a tick of the previous period still queued
    // finds no sink and is dropped, so the period really restarts.
    UINT_PTR id = d.next_timer_id++;
    if (d.next_timer_id == 0) d.next_timer_id = 1;
    if (!SetTimer(d.window, id, std::max(interval_ms, 1u), nullptr)) return;
    d.timer_ids[&timer] = id;
    d.timer_sinks[id] = &timer;
}

void Win32Platform::stop_timer(platform::TimerSink& timer) {
    Win32Data& d = *d_;
    d.gate->drop_tick(timer);
    auto it = d.timer_ids.find(&timer);
    if (it == d.timer_ids.end()) return;
    if (d.window) KillTimer(d.window, it->second);
    d.timer_sinks.erase(it->second);
    d.timer_ids.erase(it);
}

void Win32Platform::do_events() {
    if (d_->quitting) return;
    pump(*d_);
}

void Win32Platform::wait_events(platform::Millis deadline) {
    Win32Data& d = *d_;
    while (!d.quitting) {
        if (pump(d)) return;
        DWORD wait = INFINITE;
        if (deadline != INT64_MAX) {
            const platform::Millis left = deadline - now_ms();
            if (left <= 0) return;
            wait = static_cast<DWORD>(
                std::min<platform::Millis>(left, platform::Millis{INFINITE} - 1));
        }
        const DWORD r =
            MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (r == WAIT_TIMEOUT) {
            pump(d);
            return;
        }
    }
}

bool Win32Platform::quitting() {
    return d_->quitting || d_->ending;
}

void Win32Platform::quit() {
    Win32Data& d = *d_;
    if (d.quitting) return;
    d.quitting = true;
    for (auto& [id, sink] : d.timer_sinks) {
        if (d.window) KillTimer(d.window, id);
    }
    d.timer_sinks.clear();
    d.timer_ids.clear();
    d.gate->clear();
    hide_windows(d);
    PostQuitMessage(0);
}

platform::Millis Win32Platform::double_click_ms() {
    return static_cast<platform::Millis>(GetDoubleClickTime());
}

platform::EventGate& Win32Platform::gate() {
    return *d_->gate;
}

bool Win32Platform::post(std::function<void()> action) {
    Win32Data& d = *d_;
    if (!d.window || d.quitting) return false;
    d.posted.push_back(std::move(action));
    if (PostMessageW(d.window, kMsgPosted, 0, 0)) return true;
    d.posted.pop_back();
    return false;
}

platform::FileSystem& Win32Platform::files() {
    return d_->files;
}

platform::Locale& Win32Platform::locale() {
    return d_->locale;
}

}  // namespace tovira::win32
