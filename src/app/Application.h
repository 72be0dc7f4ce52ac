#pragma once
#include <QApplication>

namespace sondrel {

inline constexpr const char* ApplicationVersion = "1.00";

// The application object. Its notify() is the last resort of the exception hook: every entry
// point Qt calls catches at its own boundary, and whatever still escapes an event handler
// is handed to the hook here instead of unwinding through Qt.
class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace sondrel
