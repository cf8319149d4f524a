// The Win32 backend's URL fetch: WinINet on a worker thread (HTTP and
// HTTPS, the user's proxy settings, gzip transfer, "Tovira/<version>" as
// User-Agent, certificate errors as failures), its result handed to the
// window's thread with PostMessageW and from there through the core's gate.

#include "platform/win32/win32_internal.h"
#include "tovira_version.h"

namespace tovira::win32 {

namespace {

// Servers see which program asks, and which version of it.
constexpr wchar_t kUserAgent[] = L"Tovira/" TOVIRA_VERSION_STRING;
// Undone by WinINet's decoder once INTERNET_OPTION_HTTP_DECODING is on. Only
// gzip: "deflate" means zlib-wrapped to some servers and raw to others.
constexpr wchar_t kAcceptEncoding[] = L"Accept-Encoding: gzip\r\n";

class Win32UrlFetch;

// Shared by the window's thread and one worker thread; the worker touches
// only `session`/`cancelled` (under `lock`) and its own result fields.
struct FetchJob {
    LONG refs = 2;  // the fetch object and the worker
    HWND hwnd = nullptr;
    std::wstring url;
    std::size_t max_bytes = 0;
    CRITICAL_SECTION lock;
    HINTERNET session = nullptr;
    bool cancelled = false;
    bool ok = false;
    int status = 0;
    std::string body;
    Win32UrlFetch* owner = nullptr;  // window thread only

    FetchJob() { InitializeCriticalSection(&lock); }
    ~FetchJob() { DeleteCriticalSection(&lock); }
    FetchJob(const FetchJob&) = delete;
    FetchJob& operator=(const FetchJob&) = delete;
};

void release_job(FetchJob* job) {
    if (InterlockedDecrement(&job->refs) == 0) delete job;
}

unsigned __stdcall fetch_thread(void* arg) {
    auto* job = static_cast<FetchJob*>(arg);
    // PRECONFIG: the user's own proxy settings.
    HINTERNET session =
        InternetOpenW(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    bool cancelled = false;
    EnterCriticalSection(&job->lock);
    if (job->cancelled) {
        cancelled = true;
    } else {
        job->session = session;
    }
    LeaveCriticalSection(&job->lock);
    if (cancelled) {
        if (session) InternetCloseHandle(session);
    } else if (session) {
        DWORD timeout = static_cast<DWORD>(platform::kUrlFetchTimeoutMs);
        InternetSetOptionW(session, INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof timeout);
        InternetSetOptionW(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
        InternetSetOptionW(session, INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof timeout);
        // A compressed transfer where the server offers one, decoded by WinINet.
        BOOL decode = TRUE;
        const bool decoding =
            InternetSetOptionW(session, INTERNET_OPTION_HTTP_DECODING, &decode, sizeof decode);
        // Certificate errors fail the request: no INTERNET_FLAG_IGNORE_CERT_*
        // flag, and NO_UI keeps WinINet from asking the user instead.
        // No RELOAD or PRAGMA_NOCACHE: either sends a no-cache header, and the
        // network serves its feed through a cache that should answer. A copy
        // in the local cache is checked with the server (RESYNCHRONIZE).
        const DWORD flags = INTERNET_FLAG_RESYNCHRONIZE | INTERNET_FLAG_NO_CACHE_WRITE |
                            INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES;
        // A cancel closes `session` from the window's thread, which makes a
        // blocking call here return with an error; the request handle goes
        // with its session then.
        HINTERNET request =
            InternetOpenUrlW(session, job->url.c_str(), decoding ? kAcceptEncoding : nullptr,
                             decoding ? static_cast<DWORD>(-1) : 0, flags, 0);
        bool ok = request != nullptr;
        if (request) {
            // Any status comes with its body, as before; the caller decides.
            DWORD code = 0, size = sizeof code;
            if (HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code,
                               &size, nullptr))
                job->status = static_cast<int>(code);
            char buffer[8192];
            for (;;) {
                DWORD got = 0;
                if (!InternetReadFile(request, buffer, sizeof buffer, &got)) {
                    ok = false;
                    break;
                }
                if (got == 0) break;
                job->body.append(buffer, got);
                // One byte more than allowed is enough to know it is too long.
                if (job->body.size() > job->max_bytes) {
                    ok = false;
                    break;
                }
            }
        }
        job->ok = ok;
        EnterCriticalSection(&job->lock);
        cancelled = job->cancelled;
        if (!cancelled) {
            if (request) InternetCloseHandle(request);
            InternetCloseHandle(session);
            job->session = nullptr;
        }
        LeaveCriticalSection(&job->lock);
    }
    if (cancelled || !PostMessageW(job->hwnd, kMsgFetchDone, 0, reinterpret_cast<LPARAM>(job))) {
        release_job(job);
    }
    return 0;
}

class Win32UrlFetch final : public platform::UrlFetch {
public:
    Win32UrlFetch(Win32Data& d, platform::UrlFetchEvents& events) : d_(d), events_(events) {}
    ~Win32UrlFetch() override { cancel(); }
    Win32UrlFetch(const Win32UrlFetch&) = delete;
    Win32UrlFetch& operator=(const Win32UrlFetch&) = delete;

    bool start(std::string_view url, std::size_t max_bytes) override {
        cancel();
        if (url.empty() || !d_.window) return false;
        auto* job = new FetchJob;
        job->hwnd = d_.window;
        job->url = widen(url);
        job->max_bytes = max_bytes;
        job->owner = this;
        const std::uintptr_t thread = _beginthreadex(nullptr, 0, fetch_thread, job, 0, nullptr);
        if (!thread) {
            delete job;
            return false;
        }
        CloseHandle(reinterpret_cast<HANDLE>(thread));
        job_ = job;
        return true;
    }

    void cancel() override {
        if (!job_) return;
        EnterCriticalSection(&job_->lock);
        job_->cancelled = true;
        if (job_->session) {
            InternetCloseHandle(job_->session);
            job_->session = nullptr;
        }
        LeaveCriticalSection(&job_->lock);
        job_->owner = nullptr;
        release_job(job_);
        job_ = nullptr;
    }

    static void completed(FetchJob* job) {
        Win32UrlFetch* owner = job->owner;
        if (owner && owner->job_ == job) {
            job->owner = nullptr;
            owner->job_ = nullptr;
            platform::UrlFetchResult result;
            result.ok = job->ok;
            result.status = job->status;
            result.body = std::move(job->body);
            release_job(job);  // the owner's reference
            guarded([&] { owner->events_.on_url_fetch_done(std::move(result)); });
        }
        release_job(job);  // the worker's reference
    }

private:
    Win32Data& d_;
    platform::UrlFetchEvents& events_;
    FetchJob* job_ = nullptr;
};

}  // namespace

void fetch_done(Win32Data* d, LPARAM lp) {
    auto* job = reinterpret_cast<FetchJob*>(lp);
    core_event(*d, [job] { Win32UrlFetch::completed(job); });
}

std::unique_ptr<platform::UrlFetch> Win32Platform::create_url_fetch(
    platform::UrlFetchEvents& events) {
    return std::make_unique<Win32UrlFetch>(*d_, events);
}

}  // namespace tovira::win32
