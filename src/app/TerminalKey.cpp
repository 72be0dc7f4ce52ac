#include "TerminalKey.h"

#include <cerrno>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace sondrel {

namespace {

// The terminal's settings taken on construction and put back on destruction.
class KeyMode {
public:
    explicit KeyMode(int fd) : m_fd(fd)
    {
        if (::tcgetattr(fd, &m_saved) != 0)
            return;
        termios raw = m_saved;
        raw.c_lflag &= ~tcflag_t(ICANON | ECHO); // ISIG stays: Ctrl+C still signals
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        m_active = ::tcsetattr(fd, TCSANOW, &raw) == 0;
    }
    ~KeyMode()
    {
        if (m_active)
            ::tcsetattr(m_fd, TCSANOW, &m_saved);
    }
    KeyMode(const KeyMode&) = delete;
    KeyMode& operator=(const KeyMode&) = delete;

    bool active() const { return m_active; }

private:
    int m_fd;
    termios m_saved{};
    bool m_active = false;
};

} // namespace

TerminalKey readTerminalKey(int fd, int wakeFd, const std::function<void()>& ask)
{
    const KeyMode mode(fd);
    ask();
    if (!mode.active())
        return {};
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        const int ready = ::poll(fds, wakeFd >= 0 ? 2 : 1, -1);
        if (ready < 0 && errno == EINTR)
            continue; // a stop signal's handler ran: its pipe is readable on the next turn
        if (ready < 0)
            return {};
        if (wakeFd >= 0 && (fds[1].revents & POLLIN))
            return {TerminalKey::Outcome::Woken, 0};
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            char c = 0;
            const ssize_t n = ::read(fd, &c, 1);
            if (n == 1)
                return {TerminalKey::Outcome::Key, c};
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            return {};
        }
    }
}

} // namespace sondrel
