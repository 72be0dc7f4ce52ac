#include "DesktopNotices.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

#include <algorithm>

namespace sondrel {

namespace {

// The session bus, when there is one. Connecting to an address where nothing listens fails
// at once; Qt says nothing about it.
bool sendOnSessionBus(const QDBusMessage& message)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.send(message);
}

void sendLauncherUpdate(const QVariantMap& properties)
{
    QDBusMessage update = QDBusMessage::createSignal(QString::fromLatin1(DesktopNotices::LauncherPath),
                                                     QStringLiteral("com.canonical.Unity.LauncherEntry"),
                                                     QStringLiteral("Update"));
    update << QString::fromLatin1(DesktopNotices::AppUri) << properties;
    sendOnSessionBus(update);
}

} // namespace

void DesktopNotices::notify(const QString& summary, const QString& body)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // Notify(app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout);
    // the reply (the notification's id) is not needed.
    call << QStringLiteral("Sondrel") << uint(0) << QStringLiteral("sondrel") << summary << body << QStringList()
         << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("sondrel")}} << int(-1);
    sendOnSessionBus(call);
}

void DesktopNotices::showProgress(double share, qint64 count)
{
    sendLauncherUpdate({{QStringLiteral("progress"), std::clamp(share, 0.0, 1.0)},
                        {QStringLiteral("progress-visible"), share >= 0},
                        {QStringLiteral("count"), std::max<qint64>(count, 0)},
                        {QStringLiteral("count-visible"), count >= 0}});
}

void DesktopNotices::clearProgress()
{
    sendLauncherUpdate({{QStringLiteral("progress"), 0.0},
                        {QStringLiteral("progress-visible"), false},
                        {QStringLiteral("count"), qint64(0)},
                        {QStringLiteral("count-visible"), false}});
}

} // namespace sondrel
