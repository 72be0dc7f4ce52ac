#pragma once
#include <QString>

namespace sondrel {

// Brings a window of another program to the front: the first shown top-level window whose
// title contains `title`. Works on an X11 display (through the window manager's activation
// request when one runs, else by raising and focusing the window itself); elsewhere, or when
// no such window is shown, returns false.
bool raiseOtherProgramsWindow(const QString& title);

} // namespace sondrel
