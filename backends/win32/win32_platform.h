// The native Windows backend of `platform::Platform`.
//
// Plain Win32 with no framework: the main window mirrors the core's
// controls as standard controls, timers are window timers, the event loop
// is the thread's message queue, and the socket and URL fetch deliver
// their events through that queue. Each concern is a file of its own, listed
// at the top of win32_platform.cpp. No Windows header leaks out of this one.
#pragma once

#include <memory>

#include "platform/platform.h"
#include "platform/window_host.h"

namespace tovira::win32 {

struct Win32Data;

class Win32Platform final : public platform::Platform {
public:
    // `instance` is the program's HINSTANCE. Creates the (hidden) main window.
    explicit Win32Platform(void* instance);
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;
    ~Win32Platform() override;

    // False when the main window could not be created.
    bool ready() const;
    // Mirrors every control of `window` and hands the window's events to it.
    void attach(platform::WindowHost& window);
    // Stops handing events to the window; call before it is destroyed.
    void detach();
    // Runs the event loop until the program is ending.
    void run();
    // The registered message by which a second start from this folder
    // asks for the panel.
    void answer_second_start(unsigned message);

    platform::Millis now_ms() override;
    platform::EventGate& gate() override;
    bool post(std::function<void()> action) override;
    void start_timer(platform::TimerSink& timer, unsigned interval_ms) override;
    void stop_timer(platform::TimerSink& timer) override;
    void do_events() override;
    void wait_events(platform::Millis deadline) override;
    bool quitting() override;
    void window_bounds_changed(float left, float top, float width, float height) override;
    void window_visible_changed(bool visible) override;
    void window_background_changed(std::uint32_t rgb) override;
    void set_topmost(bool topmost) override;
    void begin_drag() override;
    platform::Size screen_size() override;
    platform::Desktop desktop() override;
    bool window_moving() override;
    void control_changed(const Control& control, platform::ControlProp what) override;
    void quit() override;
    platform::Activation app_activate(std::string_view title) override;
    platform::KeysSent send_keys(std::string_view text, std::span<const platform::KeyStroke> keys,
                                 bool wait) override;
    bool modifiers_held() override;
    bool mouse_buttons_held() override;
    platform::Millis double_click_ms() override;
    void show_balloon(int control_id, std::string_view text_utf8,
                      platform::Millis shown_ms = platform::kBalloonMs) override;
    bool ask_retry(std::string_view text_utf8) override;
    platform::FileSystem& files() override;
    platform::Locale& locale() override;
    std::unique_ptr<platform::TcpSocket> create_socket(platform::SocketEvents& events) override;
    std::unique_ptr<platform::UrlFetch> create_url_fetch(platform::UrlFetchEvents& events) override;

private:
    std::unique_ptr<Win32Data> d_;
};

}  // namespace tovira::win32
