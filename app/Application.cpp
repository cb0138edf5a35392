#include "app/Application.h"

#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

namespace app {
namespace {

int s_signalPipe[2] = {-1, -1};

extern "C" void OnTerminationSignal(int)
{
    const char byte = 1;
    (void)!write(s_signalPipe[1], &byte, 1);
}

} // namespace

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv)
{ }

Application::~Application() = default;

void Application::QuitOnTerminationSignals()
{
    if (s_signalPipe[0] >= 0 || socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, s_signalPipe) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(s_signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [] {
        char byte = 0;
        (void)!read(s_signalPipe[0], &byte, 1);
        QApplication::closeAllWindows();
        QApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
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
