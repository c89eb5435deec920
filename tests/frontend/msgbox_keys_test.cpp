// The program's own boxes answer keys as a native box does: a question's Enter is Yes and its
// Escape Cancel; a plain box closes on either; other keys leave both open.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/msgbox.h"
#include "platform/platform.h"
#include "toolkit/controls_screen.h"

namespace {

std::vector<int> answers;
void Answered(int answer) { answers.push_back(answer); }

class MsgBoxKeys : public ControlsScreenTest {
protected:
    void SetUp() override
    {
        ControlsScreenTest::SetUp();
        MsgBoxRegisterClass();
        answers.clear();
    }
};

TEST_F(MsgBoxKeys, AQuestionTakesEnterAsYesAndEscapeAsCancelAndAPlainBoxClosesOnBoth)
{
    struct Row {
        int question;
        int key;
        int closes;
        int answer;   // 0: none given
    };
    const Row rows[] = {
        {1, CH_ENTER, 1, ID_YES}, {1, CH_ESCAPE, 1, ID_CANCEL}, {1, 'y', 0, 0},
        {0, CH_ENTER, 1, 0},      {0, CH_ESCAPE, 1, 0},         {0, ' ', 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.question ? "question" : "box") + ", key " + std::to_string(row.key));
        answers.clear();
        WinId box = row.question ? MsgBoxAsk("Close", "Save changes to BALL.SHP?", Answered)
                                 : MsgBoxShow("Error", "Missing walkway material.");
        ASSERT_NE(box, 0);
        EXPECT_EQ(WinFocus(), box) << "the box takes the keys";
        WinParam key = row.key, none = 0;
        WinSendMessage(box, WM_KEY, &key, &none);
        WinProcessInput();   // a closed window goes at the next turn
        EXPECT_EQ(!WinIsWindow(box), row.closes);
        EXPECT_EQ(WinModal() == box, !row.closes);
        EXPECT_EQ(answers, row.answer ? std::vector<int>{row.answer} : std::vector<int>{});
        if (WinIsWindow(box)) {
            WinSetModal(0);
            WinClose(box);
            WinProcessInput();
        }
    }
}

}   // namespace
