// tovira.exe: the main window's core on the native Win32 backend.
#include <windows.h>

#include "app/main_window.h"
#include "platform/win32/win32_platform.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    tovira::win32::Win32Platform platform(instance);
    if (!platform.ready()) return 1;
    int rc = 0;
    try {
        tovira::Form1 form(platform);
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
    // Returning ends the process, including a URL fetch's worker thread that
    // may still wait for its server.
    return rc;
}
