#include "Pump.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace sondrel {

namespace {
std::function<void()>& observerSlot()
{
    static std::function<void()> o;
    return o;
}

// A pump hands the pending messages to Qt at most this often. Long operations call it after
// every file or chunk, which can be a thousand times a second; repainting the list that
// often would cost more than the work itself, while 100 times a second keeps the window
// fully responsive.
constexpr qint64 MinPumpIntervalMs = 10;
} // namespace

void pumpMessages()
{
    static QElapsedTimer sinceLast;
    if (sinceLast.isValid() && sinceLast.elapsed() < MinPumpIntervalMs)
        return;
    if (auto& o = observerSlot())
        o();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    sinceLast.start();
}

void setPumpObserver(std::function<void()> observer)
{
    observerSlot() = std::move(observer);
}

} // namespace sondrel
