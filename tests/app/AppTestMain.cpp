#include "app/Application.h"
#include "tests/support/TestSupport.h"

#include <gmock/gmock.h>

#include <clocale>
#include <cstdlib>

// The program's own application class, so its event-loop guard is what the tests exercise.
int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    app::Application application(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    ::testing::InitGoogleMock(&argc, argv);
    tests::InstallTestEnvironment();
    return RUN_ALL_TESTS();
}
