#pragma once
// The application's error report and the wrapper every event handler goes through, so that
// no exception ever crosses Qt's event dispatch. A failure ends the handler that raised it;
// what the handler already did stays done, and the program goes on with the next event.

#include "core/error.h"

#include <QString>

#include <exception>
#include <utility>

namespace palvane {

inline constexpr const char* kApplicationTitle = "Palvane 32 v1.3";

// Shows the error box: the message plus ".", stop icon, the title as caption, one OK.
void reportError(const std::exception& error);
void reportUnknownError();

// Runs f; an exception leaving it is reported. Returns false when f failed.
template <class F> bool guarded(F&& f) {
    try {
        std::forward<F>(f)();
        return true;
    } catch (const std::exception& e) {
        reportError(e);
    } catch (...) {
        reportUnknownError();
    }
    return false;
}

// A slot for connect() that runs a handler of obj through guarded(). Extra signal arguments
// are dropped: handlers take none.
template <class T> auto handler(T* obj, void (T::*method)()) {
    return [obj, method](auto&&...) { guarded([&] { (obj->*method)(); }); };
}

} // namespace palvane
