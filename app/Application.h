#pragma once

#include <QApplication>

#include <exception>
#include <functional>

namespace app {

// The program's QApplication. No exception may cross Qt's event loop (it would end the
// process), so every one that leaves an event handler is given to the exception handler the
// main data module installs, and the loop carries on.
class Application : public QApplication
{
    Q_OBJECT

public:
    using ExceptionHandler = std::function<void(std::exception_ptr)>;

    Application(int& argc, char** argv);
    ~Application() override;

    void SetExceptionHandler(ExceptionHandler handler) { m_handler = std::move(handler); }
    bool notify(QObject* receiver, QEvent* event) override;

    // Ctrl+C and SIGTERM close the program through its event loop, so the database is detached
    // and the logs flushed. The signals must be blocked in every thread: the program entry calls
    // BlockTerminationSignals before any thread exists (this object's own included), and threads
    // inherit it. Processes the program starts must unblock them again.
    static void BlockTerminationSignals();
    void QuitOnTerminationSignals();

private:
    ExceptionHandler m_handler;
};

} // namespace app
