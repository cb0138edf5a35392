#include "tests/support/TestSupport.h"

#include <QApplication>

#include <gmock/gmock.h>

#include <clocale>
#include <cstdlib>

int main(int argc, char** argv)
{
    // Tests never need a display, also when ctest lists them.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    ::testing::InitGoogleMock(&argc, argv);
    tests::InstallTestEnvironment();
    return RUN_ALL_TESTS();
}
