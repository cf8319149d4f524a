// tovira.exe: the main window's core on the native Win32 backend. The entry
// point: a second start from the same folder hands over to the running
// panel (a named mutex, a registered message) and ends; otherwise creates
// the backend and the window, gives the window the
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
#include "platform/instance_name.h"

namespace {

std::string utf8(const std::wstring& w) {
    const int wide = static_cast<int>(w.size());
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, s.data(), n, nullptr, nullptr);
    return s;
}

BOOL CALLBACK tell_panel(HWND window, LPARAM message) {
    wchar_t name[32] = L"";
    GetClassNameW(window, name, 32);
    if (std::wstring(name) == L"ToviraMainWindow")
        PostMessageW(window, static_cast<UINT>(message), 0, 0);
    return TRUE;
}

// The name of this folder's panel: the program's folder upper-cased as the
// file system compares names (the portable rule does the rest).
std::wstring instance_name() {
    std::wstring path(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(n);
    const std::size_t slash = path.find_last_of(L"\\/");
    path.resize(slash == std::wstring::npos ? 0 : slash);
    if (!path.empty()) {
        const int size = static_cast<int>(path.size());
        LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, path.data(), size, path.data(), size,
                      nullptr, nullptr, 0);
    }
    const std::string name = tovira::platform::instance_name(utf8(path));
    const int wide =
        MultiByteToWideChar(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(wide > 0 ? wide : 0), L'\0');
    if (wide > 0)
        MultiByteToWideChar(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), out.data(),
                            wide);
    return out;
}

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
    // One panel per folder: a second start brings the running one to the
    // front and ends, touching nothing. The mutex goes with the process.
    const std::wstring name = instance_name();
    const UINT second_start = RegisterWindowMessageW(name.c_str());
    HANDLE running = CreateMutexW(nullptr, FALSE, (L"Local\\" + name).c_str());
    if (running && GetLastError() == ERROR_ALREADY_EXISTS) {
        // This process was started by the user: it may hand the foreground on.
        AllowSetForegroundWindow(ASFW_ANY);
        // To every panel's window: only the one of this folder knows the
        // message.
        if (second_start) EnumWindows(tell_panel, static_cast<LPARAM>(second_start));
        CloseHandle(running);
        return 0;
    }
    tovira::win32::Win32Platform platform(instance);
    platform.answer_second_start(second_start);
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
