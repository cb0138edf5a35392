#include "tests/support/TestSupport.h"

#include <gmock/gmock.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleMock(&argc, argv);
    tests::InstallTestEnvironment();
    return RUN_ALL_TESTS();
}
