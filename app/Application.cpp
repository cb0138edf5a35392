#include "app/Application.h"

#include <QSocketNotifier>

#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

namespace app {
namespace {

int s_signalFd = -1;

sigset_t TerminationSignals()
{
    sigset_t termination;
    sigemptyset(&termination);
    sigaddset(&termination, SIGINT);
    sigaddset(&termination, SIGTERM);
    return termination;
}

} // namespace

void Application::BlockTerminationSignals()
{
    const sigset_t termination = TerminationSignals();
    pthread_sigmask(SIG_BLOCK, &termination, nullptr);
}

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv)
{ }

Application::~Application() = default;

void Application::QuitOnTerminationSignals()
{
    if (s_signalFd >= 0) {
        return;
    }
    // Blocked, the signals wait for the event loop to read them here. A handler would run on
    // whichever thread the kernel picks, the database engine's among them, and interrupt it.
    BlockTerminationSignals();
    const sigset_t termination = TerminationSignals();
    s_signalFd = signalfd(-1, &termination, SFD_NONBLOCK | SFD_CLOEXEC);
    if (s_signalFd < 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(s_signalFd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [] {
        signalfd_siginfo info {};
        while (read(s_signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        }
        QApplication::closeAllWindows();
        QApplication::quit();
    });
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        const std::exception_ptr error = std::current_exception();
        try {
            if (m_handler) {
                m_handler(error);
                return false;
            }
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "Erro não tratado: %s\n", e.what());
        } catch (...) {
            std::fprintf(stderr, "Erro não tratado.\n");
        }
        return false;
    }
}

} // namespace app
