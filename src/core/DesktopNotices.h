#pragma once
// The desktop's two ways of telling about work the user has left alone, over the session
// bus: a notification (org.freedesktop.Notifications) and the progress and count on the
// program's task bar or dock entry (the com.canonical.Unity.LauncherEntry signal). Without a
// session bus, or with nobody listening on it, every call does nothing: no message, no wait.
#include <QString>
#include <QtGlobal>

namespace sondrel {

class DesktopNotices {
public:
    // The entry the launcher signal speaks of, and the object it comes from.
    static constexpr const char* AppUri = "application://sondrel.desktop";
    static constexpr const char* LauncherPath = "/org/sondrel/LauncherEntry";

    // A notification with summary as its title and body as its text; not waited for.
    void notify(const QString& summary, const QString& body);
    // The entry's progress bar at share (0..1; a negative share hides it) and its count
    // (a negative count hides it).
    void showProgress(double share, qint64 count);
    // Neither progress nor count shown.
    void clearProgress();
};

} // namespace sondrel
