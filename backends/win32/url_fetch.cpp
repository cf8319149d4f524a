// The Win32 backend's URL fetch: each fetch runs in a child process (the
// same tovira.exe, see fetch_child.cpp) that does it with WinINet and writes
// the result to a pipe as fetch frames. WinINet cannot be stopped once a
// call runs (closing its handle only drops a reference, and it buffers
// response headers without limit), so the bound comes from outside: the
// window's thread reads the pipe in slices on a timer, applies the body's
// cap, and ends the child at a cancel (the core's deadline), when its output
// breaks the cap or the protocol, or when its memory passes
// kChildMemoryLimit. A job object, which the child is in from its creation,
// ends every child when the program ends, however it ends; under Wine, which does not apply the
// job's kill-on-close at a process's end, the child's watch of its parent does. No other thread
// takes part: every handle belongs to the window's thread, and nothing it does waits.
//
// A child that cannot be started (security software, a policy), or that
// ends before it wrote anything, is a failed fetch whose result says why
// (`helper_failure`), so that the core can tell it from an outage of the
// network. The child inherits exactly its two handles, or is not started.

#include <cstdio>
#include <span>
#include <utility>

#include "backends/win32/fetch_child.h"
#include "backends/win32/win32_internal.h"
#include "platform/fetch_frames.h"
// After windows.h, which it needs.
#include <psapi.h>

namespace tovira::win32 {

namespace {

// A child that needs more than this is stopped: far above what a fetch
// within its cap needs, far below what would hurt the machine.
constexpr SIZE_T kChildMemoryLimit = SIZE_T{256} << 20;
// How often the window's thread looks at a running child.
constexpr UINT kPollMs = 25;
// ... and how soon again after a look that took a whole slice: more is
// waiting. A timer's tick comes after input and painting, so the window
// stays the user's; the slice alone held a 32 MiB feed to 40 MiB/s.
constexpr UINT kBusyPollMs = 1;
// At most this much is read per look, so that a fast child never holds the
// window; the rest waits in the pipe, which then holds the child back.
constexpr std::size_t kSliceBytes = std::size_t{1} << 20;
// A pipe of 64 KiB took a 32 MiB feed across in 950 ms of polls under Wine;
// one of 1 MiB in 43 ms.
constexpr DWORD kPipeBytes = 1u << 20;

class Win32UrlFetch;

// Window thread only.
std::map<UINT_PTR, Win32UrlFetch*> g_polls;    // by poll timer
std::map<unsigned, Win32UrlFetch*> g_fetches;  // by fetch id
unsigned g_next_fetch_id = 1;

// The job that holds every child; closed by the end of the process, which
// ends the children with it.
HANDLE children_job() {
    static const HANDLE job = [] {
        HANDLE j = CreateJobObjectW(nullptr, nullptr);
        if (!j) return j;
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION info{};
        info.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (!SetInformationJobObject(j, JobObjectExtendedLimitInformation, &info, sizeof info)) {
            CloseHandle(j);
            j = nullptr;
        }
        return j;
    }();
    return job;
}

std::wstring own_path() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
}

// What CreateProcess or its attribute list says when the system does not
// know the job attribute.
constexpr DWORD kJobAttributeRefused = ERROR_NOT_SUPPORTED;

bool attribute_refused(DWORD error) {
    return error == kJobAttributeRefused || error == ERROR_INVALID_PARAMETER;
}

// Starts the child with exactly `inherited` and, given `job`, in that job
// from its creation; `suspended` for the caller to place it. The error that kept it from starting,
// else ERROR_SUCCESS. Without the handle list the child is not started at all: it would inherit
// every handle.
DWORD create_child(const std::wstring& exe, std::wstring cmd, STARTUPINFOEXW si,
                   std::span<HANDLE> inherited, HANDLE job, bool suspended,
                   PROCESS_INFORMATION& pi) {
    const DWORD count = job ? 2 : 1;
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, count, 0, &size);
    std::vector<char> attributes(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
    if (!size || !InitializeProcThreadAttributeList(list, count, 0, &size)) {
        return GetLastError() ? GetLastError() : ERROR_NOT_SUPPORTED;
    }
    DWORD error = ERROR_SUCCESS;
    if (!UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited.data(),
                                   inherited.size_bytes(), nullptr, nullptr)) {
        // Not the job's refusal: the child must not start without its list.
        error = GetLastError() ? GetLastError() : ERROR_GEN_FAILURE;
        if (attribute_refused(error)) error = ERROR_GEN_FAILURE;
    } else if (job && !UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_JOB_LIST, &job,
                                                 sizeof job, nullptr, nullptr)) {
        error = kJobAttributeRefused;
    } else {
        si.lpAttributeList = list;
        const DWORD flags =
            (suspended ? CREATE_SUSPENDED : 0) | CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT;
        if (!CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, TRUE, flags, nullptr,
                            nullptr, &si.StartupInfo, &pi))
            error = GetLastError() ? GetLastError() : ERROR_GEN_FAILURE;
    }
    DeleteProcThreadAttributeList(list);
    return error;
}

void CALLBACK poll_proc(HWND, UINT, UINT_PTR timer, DWORD);

class Win32UrlFetch final : public platform::UrlFetch {
public:
    Win32UrlFetch(Win32Data& d, platform::UrlFetchEvents& events)
        : d_(d), events_(events), id_(g_next_fetch_id++) {
        g_fetches[id_] = this;
    }
    ~Win32UrlFetch() override {
        stop();
        g_fetches.erase(id_);
    }
    Win32UrlFetch(const Win32UrlFetch&) = delete;
    Win32UrlFetch& operator=(const Win32UrlFetch&) = delete;

    // One fetch at a time: a new one ends the one under way.
    bool start(std::string_view url, std::size_t max_bytes) override {
        cancel();
        if (url.empty() || !d_.window || d_.quitting) return false;
        const DWORD error = launch(url, max_bytes);
        if (error != ERROR_SUCCESS) {
            stop();
            // Told as the fetch's result at the first look, from the loop
            // like any completion, never inside this call.
            failed_start_ = error_text(error);
        }
        if (!start_polling()) {
            stop();
            return false;
        }
        return true;
    }

    void cancel() override {
        ++attempt_;  // a completion already handed to the gate is dropped
        stop();
    }

    void poll() {
        if (!failed_start_.empty()) {
            auto result = std::make_shared<platform::UrlFetchResult>();
            result->helper_failure = std::move(failed_start_);
            stop();
            deliver(result);
            return;
        }
        if (!child_ || !reader_) return;
        // Whether the child has ended, asked before the pipe: what it wrote
        // before it ended is in the pipe by then.
        const bool exited = WaitForSingleObject(child_, 0) == WAIT_OBJECT_0;
        bool ended = false;
        std::size_t taken = 0;
        while (reader_->state() == platform::FetchFrameReader::State::Reading &&
               taken < kSliceBytes) {
            DWORD avail = 0;
            if (!PeekNamedPipe(pipe_, nullptr, 0, nullptr, &avail, nullptr)) {
                ended = true;  // the child's end is closed and all is read
                break;
            }
            if (avail == 0) {
                ended = exited;
                break;
            }
            DWORD got = 0;
            const DWORD want = static_cast<DWORD>(std::min<std::size_t>(avail, buffer_.size()));
            if (!ReadFile(pipe_, buffer_.data(), want, &got, nullptr) || got == 0) {
                ended = true;
                break;
            }
            taken += got;
            answered_ = true;
            reader_->feed(std::string_view(buffer_.data(), got));
        }
        if (reader_->state() == platform::FetchFrameReader::State::Reading) {
            PROCESS_MEMORY_COUNTERS pmc{};
            pmc.cb = sizeof pmc;
            const bool too_big =
                GetProcessMemoryInfo(child_, &pmc, sizeof pmc) &&
                std::max(pmc.WorkingSetSize, pmc.PagefileUsage) > kChildMemoryLimit;
            // A child gone without its end frame, or grown too big: failed.
            if (ended || too_big) reader_->fail();
        }
        if (reader_->state() != platform::FetchFrameReader::State::Reading) {
            finish();
            return;
        }
        const UINT interval = taken >= kSliceBytes ? kBusyPollMs : kPollMs;
        if (interval != poll_interval_) repoll_every(interval);
    }

private:
    // Starts the child; the error that kept it from starting, else
    // ERROR_SUCCESS.
    DWORD launch(std::string_view url, std::size_t max_bytes) {
        const std::wstring exe = own_path();
        if (exe.empty()) return GetLastError() ? GetLastError() : ERROR_FILE_NOT_FOUND;
        SECURITY_ATTRIBUTES sa{};
        sa.nLength = sizeof sa;
        sa.bInheritHandle = TRUE;
        HANDLE write = nullptr;
        if (!CreatePipe(&pipe_, &write, &sa, kPipeBytes)) {
            pipe_ = nullptr;
            return GetLastError();
        }
        SetHandleInformation(pipe_, HANDLE_FLAG_INHERIT, 0);
        // The child waits on this to end with the program.
        HANDLE self = nullptr;
        if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self,
                             SYNCHRONIZE, TRUE, 0)) {
            const DWORD error = GetLastError();
            CloseHandle(write);
            return error;
        }
        std::wstring cmd = L"\"" + exe + L"\" " + fetch_child_arguments(self, url, max_bytes);

        STARTUPINFOEXW si{};
        si.StartupInfo.cb = sizeof si;
        // No busy cursor for the up to 2 s Windows waits for a child's
        // first window, which this one never shows.
        si.StartupInfo.dwFlags = STARTF_USESTDHANDLES | STARTF_FORCEOFFFEEDBACK;
        si.StartupInfo.hStdOutput = write;
        // Only these go to the child: an inherited socket would keep a
        // connection of the program's alive in it.
        HANDLE inherited[] = {write, self};
        // In its job from its creation: a program that starts a copy of
        // itself suspended looks like an attack to behaviour-based
        // scanners. Where the system knows no such attribute (before
        // Windows 10), the child starts suspended until it is in the job.
        HANDLE job = children_job();
        PROCESS_INFORMATION pi{};
        DWORD error = create_child(exe, cmd, si, inherited, job, false, pi);
        const bool suspended = job && attribute_refused(error);
        if (suspended) error = create_child(exe, cmd, si, inherited, nullptr, true, pi);
        // The child's copy is then the only one: when it ends, the pipe breaks.
        CloseHandle(write);
        CloseHandle(self);
        if (error != ERROR_SUCCESS) return error;
        child_ = pi.hProcess;
        if (!job || (suspended && !AssignProcessToJobObject(job, child_))) {
            // Noted for a debugger; the child still ends with the program,
            // through its watch on this process (see fetch_child.cpp).
            const std::wstring note = L"Tovira: the network helper is in no job (error " +
                                      std::to_wstring(job ? GetLastError() : 0) + L")\n";
            OutputDebugStringW(note.c_str());
        }
        if (suspended) ResumeThread(pi.hThread);
        CloseHandle(pi.hThread);
        reader_.emplace(max_bytes);
        buffer_.resize(platform::kMaxFramePayload);
        answered_ = false;
        return ERROR_SUCCESS;
    }

    bool start_polling() {
        poll_timer_ = SetTimer(nullptr, 0, kPollMs, poll_proc);
        poll_interval_ = kPollMs;
        if (!poll_timer_) return false;
        g_polls[poll_timer_] = this;
        return true;
    }

    // The same timer with a new interval; should Windows make a new one
    // instead, the old one goes.
    void repoll_every(UINT interval) {
        const UINT_PTR id = SetTimer(nullptr, poll_timer_, interval, poll_proc);
        if (!id) return;
        if (id != poll_timer_) {
            KillTimer(nullptr, poll_timer_);
            g_polls.erase(poll_timer_);
            poll_timer_ = id;
            g_polls[poll_timer_] = this;
        }
        poll_interval_ = interval;
    }

    // Hands the result to the core; the child is ended first, so nothing
    // of the fetch is left when the core hears of it.
    void finish() {
        auto result = std::make_shared<platform::UrlFetchResult>();
        result->ok = reader_->ok();
        result->status = reader_->status();
        if (result->ok) result->body = reader_->take_body();
        if (!answered_ && child_ && WaitForSingleObject(child_, 0) == WAIT_OBJECT_0) {
            // Ended before its first frame: it never got to the network.
            DWORD code = 0;
            GetExitCodeProcess(child_, &code);
            char text[64];
            std::snprintf(text, sizeof text, "it ended before it answered (exit code 0x%08lX)",
                          static_cast<unsigned long>(code));
            result->helper_failure = text;
        }
        stop();
        deliver(result);
    }

    void deliver(const std::shared_ptr<platform::UrlFetchResult>& result) {
        core_event(d_, [id = id_, attempt = attempt_, result] {
            auto it = g_fetches.find(id);
            if (it == g_fetches.end() || it->second->attempt_ != attempt) return;
            it->second->events_.on_url_fetch_done(std::move(*result));
        });
    }

    // Ends the child and frees everything of the fetch. Nothing waits:
    // TerminateProcess returns at once, and the handles are this thread's.
    void stop() {
        failed_start_.clear();
        if (poll_timer_) {
            KillTimer(nullptr, poll_timer_);
            g_polls.erase(poll_timer_);
            poll_timer_ = 0;
        }
        if (child_) {
            TerminateProcess(child_, 1);
            CloseHandle(child_);
            child_ = nullptr;
        }
        if (pipe_) {
            CloseHandle(pipe_);
            pipe_ = nullptr;
        }
        reader_.reset();
        std::vector<char>().swap(buffer_);
    }

    Win32Data& d_;
    platform::UrlFetchEvents& events_;
    const unsigned id_;
    unsigned attempt_ = 0;
    HANDLE child_ = nullptr;
    HANDLE pipe_ = nullptr;  // the read end
    UINT_PTR poll_timer_ = 0;
    UINT poll_interval_ = 0;
    std::optional<platform::FetchFrameReader> reader_;
    std::vector<char> buffer_;
    bool answered_ = false;     // the child wrote something
    std::string failed_start_;  // why the child did not start, until told
};

void CALLBACK poll_proc(HWND, UINT, UINT_PTR timer, DWORD) {
    auto it = g_polls.find(timer);
    if (it != g_polls.end()) it->second->poll();
}

}  // namespace

std::unique_ptr<platform::UrlFetch> Win32Platform::create_url_fetch(
    platform::UrlFetchEvents& events) {
    return std::make_unique<Win32UrlFetch>(*d_, events);
}

}  // namespace tovira::win32
