#pragma once
// IUnknown for the COM fakes of the Windows-side tests. `references` counts
// the live references, so a test can see that every reference handed out was
// given back; the object deletes itself at zero. QueryInterface answers for
// IUnknown, `Interface` and the further interfaces listed (bases of
// `Interface`, which share its pointer).
//
//   class FakeClock : public FakeUnknown<IMFClock> { ... };
#include <windows.h>
#include <unknwn.h>

#include <atomic>

template <typename Interface, typename... Bases>
class FakeUnknown : public Interface {
public:
    std::atomic<long> references{1};

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == __uuidof(IUnknown) || iid == __uuidof(Interface) || ((iid == __uuidof(Bases)) || ...)) {
            *out = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++references); }
    STDMETHODIMP_(ULONG) Release() override {
        const long left = --references;
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

protected:
    virtual ~FakeUnknown() = default;
};
