#include "Pump.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>

namespace sondrel {

namespace {
std::function<void()>& observerSlot()
{
    static std::function<void()> o;
    return o;
}

// A pump hands the pending messages to Qt at most every MinPumpIntervalMs. Long operations
// call it after every file or chunk, which can be a thousand times a second; repainting the
// list that often would cost more than the work itself, while 100 times a second keeps the
// window fully responsive.
constexpr qint64 MinPumpIntervalMs = 10;
// Handing over costs more as the list grows (the list view lays out every row again after
// rows were added), so the interval stretches to keep that cost at about a fifth of the
// time, but never beyond MaxPumpIntervalMs, which still feels immediate to the user.
constexpr qint64 PumpCostShare = 4;
constexpr qint64 MaxPumpIntervalMs = 40;
} // namespace

void pumpMessages()
{
    static QElapsedTimer sinceLast;
    static qint64 intervalMs = MinPumpIntervalMs;
    if (sinceLast.isValid() && sinceLast.elapsed() < intervalMs)
        return;
    if (auto& o = observerSlot())
        o();
    QElapsedTimer cost;
    cost.start();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    intervalMs = std::clamp(cost.elapsed() * PumpCostShare, MinPumpIntervalMs, MaxPumpIntervalMs);
    sinceLast.start();
}

void setPumpObserver(std::function<void()> observer)
{
    observerSlot() = std::move(observer);
}

} // namespace sondrel
