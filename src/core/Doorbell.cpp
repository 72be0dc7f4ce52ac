#include "Doorbell.h"

#include <QSocketNotifier>

#include <cstdint>
#include <stdexcept>
#include <sys/eventfd.h>
#include <unistd.h>

namespace sondrel {

Doorbell::Doorbell(QObject* parent) : QObject(parent)
{
    m_fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_fd < 0)
        throw std::runtime_error("no event descriptor for the worker threads is available");
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        std::uint64_t count = 0;
        if (::read(m_fd, &count, sizeof count) == sizeof count)
            emit rung();
    });
}

Doorbell::~Doorbell()
{
    delete m_notifier;
    ::close(m_fd);
}

void Doorbell::ring() noexcept
{
    const std::uint64_t one = 1;
    // Cannot fail short of a counter overflow, which would still leave the bell rung.
    [[maybe_unused]] const auto n = ::write(m_fd, &one, sizeof one);
}

} // namespace sondrel
