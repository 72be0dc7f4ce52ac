#pragma once
#include <exception>
#include <functional>
#include <type_traits>

namespace sondrel {

// The program-wide handler for errors no command caught. Every entry point Qt calls (slots,
// event handlers, player signals) catches at its own boundary and passes the error here, so
// no exception unwinds through Qt's frames.
void setExceptionHandler(std::function<void(std::exception_ptr)> handler);
void reportException(std::exception_ptr error);

// Runs f, handing any exception to the handler.
template <class F>
void guardedCall(F&& f) noexcept
{
    try {
        f();
    } catch (...) {
        reportException(std::current_exception());
    }
}

// Wraps a callable for connect(): the returned callable never throws. Like a slot, the
// callable may take the signal's arguments or none of them.
template <class F>
auto guarded(F f)
{
    return [f = std::move(f)](auto&&... args) noexcept {
        guardedCall([&] {
            if constexpr (std::is_invocable_v<const F&, decltype(args)...>)
                f(std::forward<decltype(args)>(args)...);
            else
                f();
        });
    };
}

} // namespace sondrel
