#pragma once
#include <QString>
#include <QStringList>
#include <QUrl>

class QWidget;

namespace sondrel {

class Prompts;

// Starts outside programs without waiting for them: the help viewer, the web browser, the
// mail program (through the desktop's default handler) and a new instance of the program.
class Launcher {
public:
    virtual ~Launcher() = default;
    // False when no program could be started for the address.
    virtual bool openUrl(const QUrl& url) = 0;
    virtual void startDetached(const QString& program, const QStringList& arguments) = 0;
    // Brings the shown window of another program whose title contains `title` to the front;
    // false when there is none.
    virtual bool raiseWindow(const QString& title) = 0;
};

// Opens a web or mail address with the desktop's program for it; when none could be started,
// a message shows the address, so the user can still copy it.
void openAddress(Launcher& launcher, Prompts& prompts, QWidget* parent, const QUrl& url);

class DesktopLauncher : public Launcher {
public:
    bool openUrl(const QUrl& url) override;
    void startDetached(const QString& program, const QStringList& arguments) override;
    bool raiseWindow(const QString& title) override;
};

} // namespace sondrel
