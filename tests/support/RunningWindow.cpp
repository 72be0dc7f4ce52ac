#include "RunningWindow.h"

#include <QTest>

bool RunningWindow::start()
{
    shell.reset();
    prompts = std::make_unique<FakePrompts>();
    launcher = std::make_unique<FakeLauncher>();
    shell = std::make_unique<sondrel::AppShell>(*prompts, *launcher);
    w().show();
    return QTest::qWaitForWindowExposed(&w());
}

bool RunningWindow::waitAdded(int timeoutMs)
{
    return QTest::qWaitFor([this] { return !s().flag_adding(); }, timeoutMs);
}
