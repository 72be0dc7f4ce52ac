#include "StopSignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace sondrel {

namespace {

int g_pipe[2] = {-1, -1};
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

void onSignal(int signal)
{
    const char c = char(signal);
    [[maybe_unused]] const auto n = ::write(g_pipe[1], &c, 1);
}

void setAction(int signal, void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signal, &action, nullptr);
}

} // namespace

StopSignals::StopSignals(QObject* parent) : QObject(parent)
{
    setAction(SIGPIPE, SIG_IGN);
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // without the pipe the signals keep their default actions
    m_notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
        char c = 0;
        int last = 0;
        while (::read(g_pipe[0], &c, 1) == 1)
            last = static_cast<unsigned char>(c);
        if (last == 0)
            return;
        if (m_received == 0)
            m_received = last;
        emit stopRequested(last);
    });
    for (int s : kSignals)
        setAction(s, onSignal);
}

int StopSignals::wakeFd()
{
    return g_pipe[0];
}

StopSignals::~StopSignals()
{
    for (int s : kSignals)
        setAction(s, SIG_DFL);
    setAction(SIGPIPE, SIG_DFL);
}

} // namespace sondrel
