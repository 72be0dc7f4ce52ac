#pragma once
// One key read from a terminal without waiting for Enter: the terminal is put in
// non-canonical mode without echo for that read only and given its own settings back on
// every way out (a key, the end of the input, an error, an exception, a stop signal).
#include <functional>

namespace sondrel {

// What came of waiting for a key.
struct TerminalKey {
    enum class Outcome { Key, Ended, Woken };
    Outcome outcome = Outcome::Ended;
    char key = 0; // for Outcome::Key
};

// Waits for one key on the terminal fd; ask, called once the terminal waits for a single
// key, shows the question (a key typed as soon as it shows is then never echoed or held
// for a line). Ended: fd is not a terminal, its input ended or failed. Woken: wakeFd (when
// not negative) became readable first, as the stop signals' pipe does when Ctrl+C, SIGTERM
// or SIGHUP come in; what is there is left for its owner to read.
TerminalKey readTerminalKey(int fd, int wakeFd, const std::function<void()>& ask);

} // namespace sondrel
