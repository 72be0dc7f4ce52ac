#include "Pump.h"

#include <QCoreApplication>

namespace sondrel {

namespace {
std::function<void()>& observerSlot()
{
    static std::function<void()> o;
    return o;
}
} // namespace

void pumpMessages()
{
    if (auto& o = observerSlot())
        o();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void setPumpObserver(std::function<void()> observer)
{
    observerSlot() = std::move(observer);
}

} // namespace sondrel
