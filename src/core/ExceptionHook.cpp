#include "ExceptionHook.h"

#include <cstdio>
#include <stdexcept>

namespace sondrel {

namespace {
std::function<void(std::exception_ptr)>& handlerSlot()
{
    static std::function<void(std::exception_ptr)> h;
    return h;
}
} // namespace

void setExceptionHandler(std::function<void(std::exception_ptr)> handler)
{
    handlerSlot() = std::move(handler);
}

void reportException(std::exception_ptr error)
{
    if (auto& h = handlerSlot()) {
        try {
            h(error);
        } catch (...) {
            std::fputs("sondrel: the error handler itself failed\n", stderr);
        }
        return;
    }
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sondrel: unhandled error: %s\n", e.what());
    } catch (...) {
        std::fputs("sondrel: unhandled error\n", stderr);
    }
}

} // namespace sondrel
