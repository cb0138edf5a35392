#include "app/Application.h"

#include "tests/support/TestDatabase.h"

#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>
#include <unistd.h>

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

TEST(Application, ATerminationSignalLeavesTheDatabaseToBeClosedInOrder)
{
    // A signal sent to the process may land on any thread that does not block it; landing on
    // one of the embedded engine's, it once left the engine spinning in the program's final
    // detach. As in the program, the signals are blocked before the engine starts its threads.
    app::Application::BlockTerminationSignals();
    tests::DatabaseSession session(tests::CopySchemaDatabase());
    auto* application = static_cast<app::Application*>(QCoreApplication::instance());
    application->QuitOnTerminationSignals();
    QTimer::singleShot(0, [] { kill(getpid(), SIGTERM); });
    QTimer::singleShot(10000, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    QThread::msleep(200);
    EXPECT_EQ("13", session.Value("select ID from MODULO where ID = 13"));
    session.Commit();
    session.Database.Close();
    EXPECT_FALSE(session.Database.Connected());
}
