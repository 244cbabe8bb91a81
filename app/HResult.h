#pragma once
// Early returns on a failed HRESULT, so a run of platform calls reads as a
// straight line instead of a ladder of `hr = ...; if (FAILED(hr)) return hr;`.
// No exceptions: the failure is handed back as a value. Each macro evaluates
// `expr` exactly once. Plain macros (no compiler extensions), so MSVC and
// MinGW build them alike.
//
//   HRESULT MakeThing(...) {
//       RETURN_IF_FAILED(factory->CreateThing(thing.Put()));
//       RETURN_IF_FAILED(thing->Initialize(...));
//       return S_OK;
//   }
//   bool LoadThing(...) {          // a module boundary that answers yes or no
//       RETURN_FALSE_IF_FAILED(thing->Load(...));
//       return true;
//   }
#include <windows.h>

// Returns the failed HRESULT of `expr` from the enclosing function.
#define RETURN_IF_FAILED(expr)                       \
    do {                                             \
        const HRESULT kestrelonHr_ = (expr);         \
        if (FAILED(kestrelonHr_)) return kestrelonHr_; \
    } while (0)

// Returns false from the enclosing function when `expr` failed.
#define RETURN_FALSE_IF_FAILED(expr)     \
    do {                                 \
        if (FAILED(expr)) return false;  \
    } while (0)
