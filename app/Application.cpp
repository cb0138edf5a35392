#include "app/Application.h"

#include <cstdio>

namespace app {

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv)
{ }

Application::~Application() = default;

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
