#pragma once
// Small video clips for the Windows-side tests, made by ffmpeg on first use
// and kept under <build>/test-clips. Under Wine the host's /usr/bin/ffmpeg is
// started directly (Wine runs Unix programs) with Unix paths; on Windows an
// ffmpeg.exe on PATH is used. A test that finds no ffmpeg skips itself.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace testclips {

inline bool UnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The clips folder, as the host sees it (Unix path under Wine).
inline std::string HostFolder() {
    const char* build = std::getenv("KESTRELON_BUILD");
    std::string folder = build && *build ? build : (UnderWine() ? "/tmp" : ".");
    return folder + (UnderWine() ? "/test-clips" : "\\test-clips");
}

inline std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// Host path to the path this program opens it by (Z: maps the Unix root).
inline std::wstring WindowsPath(const std::string& hostPath) {
    if (!UnderWine()) return Widen(hostPath);
    std::wstring w = L"Z:" + Widen(hostPath);
    for (wchar_t& c : w)
        if (c == L'/') c = L'\\';
    return w;
}

// Starts a program; under Wine the handle of a Unix program does not tell when
// it ends, so callers wait for the file it makes instead.
inline bool StartHost(const std::string& commandLine) {
    std::wstring command = Widen(commandLine);
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si,
                        &pi))
        return false;
    WaitForSingleObject(pi.hProcess, 120000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

inline bool FileHasBytes(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    return GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
           (data.nFileSizeLow != 0 || data.nFileSizeHigh != 0);
}

// The clip `name` made with the ffmpeg arguments `args` (inputs and codecs;
// the output name is appended). Returns its Windows path, or an empty string
// when it could not be made.
inline std::wstring Clip(const std::string& name, const std::string& args) {
    const std::string folder = HostFolder();
    const std::string hostPath = folder + (UnderWine() ? "/" : "\\") + name;
    const std::wstring path = WindowsPath(hostPath);
    if (FileHasBytes(path)) return path;
    CreateDirectoryW(WindowsPath(folder).c_str(), nullptr);
    // Made under a temporary name and renamed by the same shell once ffmpeg
    // succeeded, so a half-made clip is never seen under its own name.
    const std::string partial = hostPath + ".part";
    const std::string extension = name.substr(name.rfind('.') + 1);
    const std::string format = extension == "m4a" ? "mp4" : extension;
    if (UnderWine()) {
        StartHost("/bin/sh -c \"/usr/bin/ffmpeg -nostdin -v error -y " + args + " -f " + format + " " + partial +
                  " && mv " + partial + " " + hostPath + "\"");
    } else {
        StartHost("ffmpeg.exe -nostdin -v error -y " + args + " -f " + format + " " + partial);
        MoveFileExW(WindowsPath(partial).c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    for (int i = 0; i < 600 && !FileHasBytes(path); ++i) Sleep(100);
    return FileHasBytes(path) ? path : std::wstring();
}

// The clips the tests share: 320x180 test pattern, 25 frames a second.
inline std::wstring H264WithAudio() {
    return Clip("h264-aac-3s.mp4",
                "-f lavfi -i testsrc=size=320x180:rate=25:duration=3 -f lavfi -i sine=frequency=440:duration=3 "
                "-c:v libx264 -pix_fmt yuv420p -c:a aac -shortest");
}
inline std::wstring H264Silent() {
    return Clip("h264-3s.mp4", "-f lavfi -i testsrc=size=320x180:rate=25:duration=3 -c:v libx264 -pix_fmt yuv420p");
}
inline std::wstring HalfSecond() {
    return Clip("h264-half-second.mp4",
                "-f lavfi -i testsrc=size=320x180:rate=25:duration=0.5 -c:v libx264 -pix_fmt yuv420p");
}
inline std::wstring AudioOnly() {
    return Clip("audio-only.m4a", "-f lavfi -i sine=frequency=440:duration=2 -c:a aac");
}
// One flat colour (R 48, G 80, B 192), for the poster's pixels; 320x180 unless
// another size is given ("854x480": a width whose NV12 rows a pipeline may pad).
inline std::wstring FlatColour(const std::string& size = "320x180") {
    return Clip(size == "320x180" ? "flat-3050c0.mp4" : "flat-3050c0-" + size + ".mp4",
                "-f lavfi -i color=c=0x3050C0:size=" + size + ":rate=25:duration=1 -c:v libx264 -pix_fmt yuv420p");
}

// One flat colour (R 200, G 40, B 40) at 1280x720, converted to YUV with the
// BT.709 matrix and tagged BT.709 throughout, as HD video is.
inline std::wstring FlatColourBt709() {
    return Clip("flat-c82828-bt709.mp4",
                "-f lavfi -i color=c=0xC82828:size=1280x720:rate=25:duration=1 "
                "-vf scale=out_color_matrix=bt709:out_range=tv -c:v libx264 -pix_fmt yuv420p "
                "-color_primaries bt709 -color_trc bt709 -colorspace bt709");
}

}  // namespace testclips
