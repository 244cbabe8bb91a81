#pragma once
// A message-only window on the creating thread that counts the messages of
// one kind sent to it: the stand-in for a window a media pipeline needs an
// answer from while the thread that owns it waits. Only that thread's message
// handling can answer, so a wait that does not handle sent messages shows up
// as a count of zero (or as a wait that runs into its limit).
#include <windows.h>

#include <atomic>

class AnsweringWindow {
public:
    static constexpr UINT kAsks = WM_APP + 40;

    AnsweringWindow() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = Proc;
        wc.lpszClassName = L"KestrelonTestAnsweringWindow";
        RegisterClassW(&wc);  // fails harmlessly when already registered
        hwnd = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        if (hwnd) SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&asked));
    }
    ~AnsweringWindow() {
        if (hwnd) DestroyWindow(hwnd);
    }
    AnsweringWindow(const AnsweringWindow&) = delete;
    AnsweringWindow& operator=(const AnsweringWindow&) = delete;

    HWND hwnd = nullptr;
    std::atomic<int> asked{0};  // kAsks messages answered so far

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == kAsks) {
            if (auto* count = reinterpret_cast<std::atomic<int>*>(GetWindowLongPtrW(window, GWLP_USERDATA))) ++*count;
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }
};
