#include "app/StageTrace.h"

#include <windows.h>

#include <cstdio>

namespace {

// Read once, on the first call (the UI thread's, before any other thread
// traces): the trace file's path, empty when tracing is off.
wchar_t g_tracePath[MAX_PATH] = {};
INIT_ONCE g_traceOnce = INIT_ONCE_STATIC_INIT;
ULONGLONG g_createdAt = 0;  // the process's creation, in 100-ns units of the system time

BOOL CALLBACK ReadTraceSetting(PINIT_ONCE, void*, void**) {
    if (GetEnvironmentVariableW(L"KESTRELON_TRACE", g_tracePath, MAX_PATH) >= MAX_PATH) g_tracePath[0] = L'\0';
    FILETIME created{}, exited{}, kernel{}, user{};
    if (GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        g_createdAt = (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    return TRUE;
}

}  // namespace

void TraceStage(const char* stage) {
    InitOnceExecuteOnce(&g_traceOnce, ReadTraceSetting, nullptr, nullptr);
    if (!g_tracePath[0]) return;
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    const ULONGLONG at = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    char line[160];
    const int length = std::snprintf(line, sizeof line, "%.1f %lu %s\n", (at - g_createdAt) / 10000.0,
                                     GetCurrentThreadId(), stage ? stage : "");
    if (length <= 0) return;
    const HANDLE file = CreateFileW(g_tracePath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(length < static_cast<int>(sizeof line) ? length : sizeof line - 1),
              &written, nullptr);
    CloseHandle(file);
}

void TraceStage(const char* stage, long long number) {
    InitOnceExecuteOnce(&g_traceOnce, ReadTraceSetting, nullptr, nullptr);
    if (!g_tracePath[0]) return;
    char text[120];
    std::snprintf(text, sizeof text, "%s %lld", stage ? stage : "", number);
    TraceStage(text);
}
