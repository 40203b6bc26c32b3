// Every handler of the control window is bound through Guarded. An error the
// handler raises is shown by the window's top-level error display
// (W::ReportHandlerError) and ends that handler only: it never unwinds
// through Qt's signal emission, a timer or a control's own event code, and
// the program goes on. A handler that returns a value gives the
// value-initialised one after an error.
#pragma once

#include <exception>
#include <type_traits>
#include <utility>

template <class W> class THandlerGuard {
protected:
    template <typename F> auto Guarded(F handler) {
        W* w = static_cast<W*>(this);
        return [w, handler](
                   auto&&... args) -> decltype(handler(std::forward<decltype(args)>(args)...)) {
            using R = decltype(handler(std::forward<decltype(args)>(args)...));
            try {
                return handler(std::forward<decltype(args)>(args)...);
            } catch (const std::exception& e) {
                w->ReportHandlerError(&e);
            } catch (...) {
                w->ReportHandlerError(nullptr);
            }
            if constexpr (!std::is_void_v<R>)
                return R{};
        };
    }
    template <typename R, typename... A> auto Guarded(R (W::*handler)(A...)) {
        W* w = static_cast<W*>(this);
        return Guarded(
            [w, handler](A... args) -> R { return (w->*handler)(std::forward<A>(args)...); });
    }
};
