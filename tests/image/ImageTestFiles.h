#pragma once
// Files on disk for the Windows-side image tests: a fresh temporary folder per
// test, and the committed sample images under tests/image/data.
#include <windows.h>

#include <cstring>
#include <string>

// The sample images beside this header, as a Windows path (built on Linux
// for Wine, the source path is a Unix one, which Wine's Z: drive maps).
inline std::wstring SampleImage(const wchar_t* name) {
    const char* here = __FILE__;
    std::wstring folder(here, here + std::strlen(here));
    for (wchar_t& c : folder)
        if (c == L'/') c = L'\\';
    if (!folder.empty() && folder[0] == L'\\') folder = L"Z:" + folder;
    folder = folder.substr(0, folder.find_last_of(L'\\'));
    return folder + L"\\data\\" + name;
}

// A new empty folder under the temporary folder; removed with everything in it
// when the object goes.
class TempFolder {
public:
    TempFolder() {
        wchar_t base[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, base);
        static int serial = 0;
        path_ = std::wstring(base) + L"kestrelon-image-" + std::to_wstring(GetCurrentProcessId()) +
                L"-" + std::to_wstring(++serial);
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TempFolder() { RemoveTree(path_); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& Path() const { return path_; }
    std::wstring Child(const std::wstring& name) const { return path_ + L"\\" + name; }

    // An empty file (or one with `bytes`), optionally hidden.
    void File(const std::wstring& name, const std::string& bytes = {}, bool hidden = false) const {
        const HANDLE h = CreateFileW(Child(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        if (!bytes.empty()) WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(h);
        if (hidden) SetFileAttributesW(Child(name).c_str(), FILE_ATTRIBUTE_HIDDEN);
    }
    void Folder(const std::wstring& name, bool hidden = false) const {
        CreateDirectoryW(Child(name).c_str(), nullptr);
        if (hidden) SetFileAttributesW(Child(name).c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY);
    }
    void Copy(const std::wstring& from, const std::wstring& name) const {
        CopyFileW(from.c_str(), Child(name).c_str(), FALSE);
    }

private:
    static void RemoveTree(const std::wstring& folder) {
        WIN32_FIND_DATAW entry;
        const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = entry.cFileName;
                if (name == L"." || name == L"..") continue;
                const std::wstring child = folder + L"\\" + name;
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree(child);
                else
                    DeleteFileW(child.c_str());
            } while (FindNextFileW(search, &entry));
            FindClose(search);
        }
        RemoveDirectoryW(folder.c_str());
    }

    std::wstring path_;
};

inline std::string Narrow(const std::wstring& s) {
    std::string out;
    for (wchar_t c : s) out += (c < 128) ? static_cast<char>(c) : '?';
    return out;
}
