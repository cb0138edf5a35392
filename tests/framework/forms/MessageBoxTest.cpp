#include "framework/forms/MessageBox.h"

#include <gtest/gtest.h>

using framework::MessageBox;
using namespace Qt::StringLiterals;

TEST(MessageBox, QueuedAnswersAreTakenInOrderAndTheDefaultIsNo)
{
    MessageBox::ClearAnswers();
    MessageBox::TakeShownTexts();
    MessageBox::SetNextAnswer(QMessageBox::Yes);
    EXPECT_TRUE(MessageBox::Question(nullptr, u"Deseja tentar novamente?"_s));
    EXPECT_FALSE(MessageBox::Question(nullptr, u"De novo?"_s)) << "offscreen, unanswered: No is preselected";
    MessageBox::Information(nullptr, u"Banco de Dados foi atualizado com sucesso."_s);
    EXPECT_EQ(
        MessageBox::TakeShownTexts(),
        (QStringList {u"Deseja tentar novamente?"_s, u"De novo?"_s, u"Banco de Dados foi atualizado com sucesso."_s}));
    EXPECT_TRUE(MessageBox::TakeShownTexts().isEmpty());
}
