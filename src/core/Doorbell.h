#pragma once
#include <QObject>

class QSocketNotifier;

namespace sondrel {

// Lets worker threads wake the GUI thread: ring() may be called from any thread, and rung
// is emitted on the thread that owns the doorbell, once for any number of rings since the
// last time. Only a counter in the kernel is shared, so nothing of Qt's event queue is
// touched from the workers.
class Doorbell : public QObject {
    Q_OBJECT
public:
    explicit Doorbell(QObject* parent = nullptr);
    ~Doorbell() override;
    void ring() noexcept;

signals:
    void rung();

private:
    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace sondrel
