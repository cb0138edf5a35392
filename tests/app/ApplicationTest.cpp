#include "app/Application.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <stdexcept>

TEST(Application, AnExceptionInASlotReachesTheHandlerAndTheLoopGoesOn)
{
    auto* application = qobject_cast<app::Application*>(QCoreApplication::instance());
    ASSERT_TRUE(application) << "the test main must create the program's application class";
    std::string seen;
    application->SetExceptionHandler([&seen](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            seen = e.what();
        }
    });
    bool after = false;
    QTimer::singleShot(0, [] { throw std::runtime_error("falha no evento"); });
    QTimer::singleShot(1, [&after] {
        after = true;
        QCoreApplication::quit();
    });
    QCoreApplication::exec();
    application->SetExceptionHandler({});
    EXPECT_EQ(seen, "falha no evento");
    EXPECT_TRUE(after);
}

TEST(Application, ATerminationSignalEndsTheEventLoop)
{
    auto* application = static_cast<app::Application*>(QCoreApplication::instance());
    application->QuitOnTerminationSignals();
    bool timedOut = false;
    QTimer::singleShot(0, [] { std::raise(SIGTERM); });
    QTimer::singleShot(10000, [&] {
        timedOut = true;
        QCoreApplication::quit();
    });
    EXPECT_EQ(0, QCoreApplication::exec());
    EXPECT_FALSE(timedOut);
}
