#pragma once
// Ctrl+C (SIGINT), SIGTERM and SIGHUP as a request to stop: the handlers only write the
// signal's number to a pipe, and the event loop reports it, so the work in hand is ended and
// cleaned up like a Stop instead of the process dying with temporary files left behind.
// SIGPIPE is ignored while this lives: a closed output shows as EPIPE where it is written.
#include <QObject>
#include <memory>

class QSocketNotifier;

namespace sondrel {

class StopSignals : public QObject {
    Q_OBJECT
public:
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override; // the signals' default actions come back

    // The first signal received, 0 while none has come.
    int received() const { return m_received; }
    // The exit status a shell gives a process that signal ended: 128 + its number.
    static int exitStatusFor(int signal) { return 128 + signal; }
    // Readable once a stop signal has come and until the event loop has reported it; -1
    // before any StopSignals was made. For a blocking wait that must end on a stop.
    static int wakeFd();

signals:
    void stopRequested(int signal);

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
    int m_received = 0;
};

} // namespace sondrel
