// The URL fetch's child process: the same tovira.exe, started with a private
// switch, does one WinINet fetch and writes its result to its standard
// output as fetch frames (platform/fetch_frames.h). The parent bounds it
// from outside (url_fetch.cpp): whatever a server does to WinINet happens in
// a process the parent can end at once.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tovira::win32 {

// The switch that makes tovira.exe a fetch child.
inline constexpr wchar_t kFetchChildSwitch[] = L"--url-fetch-child";

// The child's command line after the program's name: the switch, the
// child's inherited handle of its parent process (it ends when the parent
// does), the body cap and the URL (UTF-8, hex-coded: nothing in it can be
// taken for another argument).
std::wstring fetch_child_arguments(void* parent, std::string_view url, std::size_t max_bytes);

// When the process was started as a fetch child, runs the fetch and returns
// the process's exit code; otherwise -1, at once.
int run_fetch_child_if_asked();

}  // namespace tovira::win32
