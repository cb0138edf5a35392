#include "app/MainMenu.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

TEST(TfrmMainMenu, IsTitledAfterTheProgram)
{
    TfrmMainMenu window;
    window.show();
    EXPECT_EQ(window.windowTitle(), u"Notavia NFSe"_s);
    EXPECT_TRUE(window.isVisible());
}
