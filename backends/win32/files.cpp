// Files of the Win32 backend: plain names in the executable's folder, read
// and written whole, replaced with MoveFileExW; the folder's write test (a
// uniquely named file created, written and deleted); the copy of a file in
// the user's VirtualStore (%LOCALAPPDATA%\VirtualStore followed by the
// folder without its drive), where file virtualization puts the writes of a
// process without a manifest, and writes into that copy (its folders made
// as needed) where the folder refuses them; the system's message for the
// last failure.
//
// Left out: a VirtualStore copy for a folder on a network share, which file
// virtualization never redirects.
#include "backends/win32/win32_internal.h"
// After windows.h, which it needs.
#include <shlobj.h>

namespace tovira::win32 {

namespace {

class Win32InputFile final : public platform::InputFile {
public:
    explicit Win32InputFile(HANDLE h) : h_(h) {}
    ~Win32InputFile() override { CloseHandle(h_); }
    Win32InputFile(const Win32InputFile&) = delete;
    Win32InputFile& operator=(const Win32InputFile&) = delete;

    std::ptrdiff_t read(char* buffer, std::size_t size) override {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        if (!ReadFile(h_, buffer, want, &got, nullptr)) return -1;
        return static_cast<std::ptrdiff_t>(got);
    }

private:
    HANDLE h_;
};

class Win32OutputFile final : public platform::OutputFile {
public:
    Win32OutputFile(HANDLE h, DWORD& last_error) : h_(h), last_error_(last_error) {}
    ~Win32OutputFile() override {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    Win32OutputFile(const Win32OutputFile&) = delete;
    Win32OutputFile& operator=(const Win32OutputFile&) = delete;

    bool write(std::string_view bytes) override {
        if (h_ == INVALID_HANDLE_VALUE) return false;
        while (!bytes.empty()) {
            DWORD done = 0;
            const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
            if (!WriteFile(h_, bytes.data(), want, &done, nullptr) || done == 0) {
                last_error_ = done == 0 && GetLastError() == ERROR_SUCCESS ? ERROR_WRITE_FAULT
                                                                           : GetLastError();
                return false;
            }
            bytes.remove_prefix(done);
        }
        return true;
    }

    bool commit() override {
        if (h_ == INVALID_HANDLE_VALUE) return false;
        const bool flushed = FlushFileBuffers(h_) != 0;
        if (!flushed) last_error_ = GetLastError();
        const bool closed = CloseHandle(h_) != 0;
        if (flushed && !closed) last_error_ = GetLastError();
        h_ = INVALID_HANDLE_VALUE;
        return flushed && closed;
    }

private:
    HANDLE h_;
    DWORD& last_error_;
};

}  // namespace

Win32Files::Win32Files() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) break;
        if (n < path.size()) {
            path.resize(n);
            const std::size_t slash = path.find_last_of(L"\\/");
            folder_ = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
            break;
        }
        if (path.size() >= 32768) break;
        path.resize(path.size() * 2);
    }
}

namespace {
// Opens `p` for reading; `missing` tells a file that is not there from one
// that refused.
std::unique_ptr<platform::InputFile> open_input(const std::wstring& p, bool* missing) {
    HANDLE h = CreateFileW(p.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (missing) *missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        return nullptr;
    }
    return std::make_unique<Win32InputFile>(h);
}
}  // namespace

std::unique_ptr<platform::InputFile> Win32Files::open_read(std::string_view name, bool* missing) {
    if (missing) *missing = false;
    const std::wstring p = path(name);
    if (p.empty()) return nullptr;
    return open_input(p, missing);
}

std::unique_ptr<platform::OutputFile> Win32Files::create(std::string_view name) {
    const std::wstring p = write_path(name);
    if (p.empty()) return nullptr;
    if (!write_folder_.empty()) {
        const std::wstring dir = write_folder_.substr(0, write_folder_.size() - 1);
        const int made = SHCreateDirectoryExW(nullptr, dir.c_str(), nullptr);
        if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS && made != ERROR_FILE_EXISTS) {
            last_error_ = static_cast<DWORD>(made);
            return nullptr;
        }
    }
    HANDLE h = CreateFileW(p.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        failed();
        return nullptr;
    }
    return std::make_unique<Win32OutputFile>(h, last_error_);
}

bool Win32Files::remove(std::string_view name) {
    const std::wstring p = write_path(name);
    return !p.empty() && (DeleteFileW(p.c_str()) != 0 || failed());
}

bool Win32Files::failed() {
    last_error_ = GetLastError();
    if (last_error_ == ERROR_SUCCESS) last_error_ = ERROR_GEN_FAILURE;
    return false;
}

std::string Win32Files::folder() {
    std::wstring f = folder_;
    if (f.size() > 1 && (f.back() == L'\\' || f.back() == L'/') && f[f.size() - 2] != L':')
        f.pop_back();
    return narrow(f);
}

std::optional<std::string> Win32Files::probe_write() {
    if (folder_.empty()) return error_text(ERROR_PATH_NOT_FOUND);
    // Unique to this process and moment: two programs started from one
    // folder never test with the same file.
    const std::wstring p = folder_ + L"tq.cfg." + std::to_wstring(GetCurrentProcessId()) + L"." +
                           std::to_wstring(GetTickCount64()) + L".test";
    HANDLE h = CreateFileW(p.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY, nullptr);
    if (h == INVALID_HANDLE_VALUE) return error_text(GetLastError());
    // Some guards let a file be made but refuse what goes into it.
    DWORD wrote = 0;
    const bool written = WriteFile(h, "\r\n", 2, &wrote, nullptr) && wrote == 2;
    const DWORD write_error = written ? ERROR_SUCCESS : GetLastError();
    CloseHandle(h);
    const bool deleted = DeleteFileW(p.c_str()) != 0;
    const DWORD delete_error = deleted ? ERROR_SUCCESS : GetLastError();
    if (!written) return error_text(write_error == ERROR_SUCCESS ? ERROR_WRITE_FAULT : write_error);
    // The save replaces the file, which needs the same right as a delete.
    if (!deleted) return error_text(delete_error);
    return std::nullopt;
}

std::wstring Win32Files::store() const {
    // Only a folder on a drive letter has a VirtualStore copy.
    if (folder_.size() < 3 || folder_[1] != L':' || folder_[2] != L'\\') return {};
    wchar_t* local = nullptr;
    if (FAILED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &local)) || !local) {
        if (local) CoTaskMemFree(local);
        return {};
    }
    std::wstring p = std::wstring(local) + L"\\VirtualStore" + folder_.substr(2);
    CoTaskMemFree(local);
    while (!p.empty() && (p.back() == L'\\' || p.back() == L'/')) p.pop_back();
    return p;
}

std::unique_ptr<platform::InputFile> Win32Files::open_redirected(std::string_view name,
                                                                 bool* missing) {
    if (missing) *missing = true;
    const std::wstring dir = store();
    if (dir.empty() || path(name).empty()) return nullptr;
    const std::wstring p = dir + L"\\" + widen(name);
    return open_input(p, missing);
}

bool Win32Files::replace(std::string_view from, std::string_view to) {
    const std::wstring a = write_path(from);
    const std::wstring b = write_path(to);
    if (a.empty() || b.empty()) return false;
    // A virus scanner or indexer may hold the new file for a moment
    // after it was written; the save runs once, at exit, so it waits a
    // little rather than lose the session's changes.
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExW(a.c_str(), b.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return true;
        }
        const DWORD error = GetLastError();
        if (attempt == 9 || (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED &&
                             error != ERROR_LOCK_VIOLATION)) {
            last_error_ = error;
            return false;
        }
        Sleep(50);
    }
}

std::wstring Win32Files::path(std::string_view name) const {
    if (folder_.empty() || name.empty() || name == "." || name == "..") return {};
    if (name.find_first_of("\\/:") != std::string_view::npos) return {};
    if (name.find('\0') != std::string_view::npos) return {};
    return folder_ + widen(name);
}

std::wstring Win32Files::write_path(std::string_view name) const {
    const std::wstring p = path(name);
    if (p.empty() || write_folder_.empty()) return p;
    return write_folder_ + p.substr(folder_.size());
}

}  // namespace tovira::win32
