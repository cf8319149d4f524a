// tovira.exe: the main window's core on the native Win32 backend. The entry
// point: creates the backend and the window, gives the window the
// command line's options (the status addresses, Aurora's port and refresh,
// the tests' fetch deadline), attaches one to the other, loads the window
// and runs the event loop until the program ends.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/main_window.h"
#include "backends/win32/fetch_child.h"
#include "backends/win32/win32_platform.h"
#include "monitor/addresses.h"

namespace {

// The arguments after the program's name, in UTF-8.
std::vector<std::string> utf8_arguments() {
    std::vector<std::string> args;
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return args;
    for (int i = 1; i < argc; ++i) {
        const int wide = static_cast<int>(wcslen(argv[i]));
        const int n = WideCharToMultiByte(CP_UTF8, 0, argv[i], wide, nullptr, 0, nullptr, nullptr);
        std::string s(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
        if (n > 0) WideCharToMultiByte(CP_UTF8, 0, argv[i], wide, s.data(), n, nullptr, nullptr);
        args.push_back(std::move(s));
    }
    LocalFree(argv);
    return args;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // A URL fetch's child process does its fetch and nothing else.
    if (const int child = tovira::win32::run_fetch_child_if_asked(); child >= 0) return child;
    tovira::win32::Win32Platform platform(instance);
    if (!platform.ready()) return 1;
    int rc = 0;
    try {
        tovira::Form1 form(platform);
        const std::vector<std::string> args = utf8_arguments();
        form.monitor.addresses = tovira::addresses_from_command_line(args);
        form.aurora_link.port = tovira::aurora_port_from_command_line(args);
        form.aurora_refresh_link.port = form.aurora_link.port;
        form.aurora_panel.refresh_ms = tovira::aurora_refresh_ms_from_command_line(args);
        if (const long ms = tovira::test_fetch_deadline_ms(args)) {
            form.Inet1.set_timeout_ms(ms);
            form.feed_inet.set_timeout_ms(ms);
        }
        platform.attach(form);
        // Detached before the form goes, however this block is left.
        struct Detach {
            tovira::win32::Win32Platform& platform;
            ~Detach() { platform.detach(); }
        } detach{platform};
        form.Form_Load();
        platform.run();
    } catch (...) {
        rc = 2;
    }
    // Returning ends the process; the job of the URL fetch's child processes
    // goes with it, and so do they.
    return rc;
}
