#pragma once
#include <QString>
#include <QStringList>
#include <QUrl>

namespace sondrel {

// Starts outside programs without waiting for them: the help viewer, the web browser, the
// mail program (through the desktop's default handler) and a new instance of the program.
class Launcher {
public:
    virtual ~Launcher() = default;
    virtual void openUrl(const QUrl& url) = 0;
    virtual void startDetached(const QString& program, const QStringList& arguments) = 0;
    // Brings the shown window of another program whose title contains `title` to the front;
    // false when there is none.
    virtual bool raiseWindow(const QString& title) = 0;
};

class DesktopLauncher : public Launcher {
public:
    void openUrl(const QUrl& url) override;
    void startDetached(const QString& program, const QStringList& arguments) override;
    bool raiseWindow(const QString& title) override;
};

} // namespace sondrel
