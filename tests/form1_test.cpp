#include "fake_desktop.h"
#include "window/form1.h"

#include <gtest/gtest.h>

namespace kelvorin::testing {
namespace {

class Form1Test : public ::testing::Test {
  protected:
    Form1Test() {
        desktop.onChange = [this] { form.TextBox1_Change(); };
    }

    // Types the text one character at a time, as a user would.
    void Type(std::u16string_view text) {
        for (char16_t unit : text) {
            desktop.WriteText(desktop.text + unit);
        }
    }

    FakeDesktop desktop;
    Form1 form{desktop, desktop};
};

TEST_F(Form1Test, TypingLeavesTheWholeWordOnTheClipboard) {
    Type(u"abc");
    EXPECT_EQ(desktop.placed, (std::vector<std::u16string>{u"a", u"ab", u"abc"}));
    EXPECT_EQ(desktop.clipboard, u"abc");
}

TEST_F(Form1Test, MirrorEmptiesReadsAndPlacesEvenTheEmptyText) {
    desktop.clipboard = u"something else";
    desktop.clipboardHolds = true;
    EXPECT_TRUE(form.TextBox1_Change());
    using enum Op;
    EXPECT_EQ(desktop.calls, (std::vector<Op>{EmptyClipboard, ReadText, PlaceClipboardText}));
    EXPECT_EQ(desktop.clipboard, u"");
    EXPECT_TRUE(desktop.clipboardHolds);
}

TEST_F(Form1Test, ClickMirrorsEveryWriteAndEndsWithTheResultOnTheClipboard) {
    desktop.text = u"abcd";
    desktop.draws = {0.9f, 0.1f, 0.5f, 0.0f};
    EXPECT_TRUE(form.Command1_Click());
    EXPECT_EQ(desktop.Count(Op::WriteText), 5u);
    EXPECT_EQ(desktop.placed, (std::vector<std::u16string>{u"", u"d", u"da", u"dac", u"dacb"}));
    EXPECT_EQ(desktop.clipboard, desktop.text);
    EXPECT_EQ(desktop.calls.back(), Op::TakeFocus);
}

TEST_F(Form1Test, ClickOnAnEmptyBoxWritesOnceMirrorsNothingAndFocusesTheBox) {
    EXPECT_TRUE(form.Command1_Click());
    EXPECT_EQ(desktop.Count(Op::WriteText), 1u);
    EXPECT_EQ(desktop.Count(Op::PlaceClipboardText), 0u);
    EXPECT_TRUE(desktop.focused);
}

TEST_F(Form1Test, EachClickScramblesTheLatestText) {
    desktop.text = u"abc";
    desktop.draws = {0.75f, 0.25f, 0.0f};
    form.Command1_Click();
    const std::u16string first = desktop.text;
    form.Command1_Click();
    EXPECT_EQ(desktop.Count(Op::SeedFromClock), 2u);
    EXPECT_EQ(desktop.placed.back(), desktop.text);
    EXPECT_NE(desktop.text, first) << "the same draws on another order give another order";
}

TEST_F(Form1Test, FailuresStopTheReactionButKeepTheText) {
    desktop.text = u"hello";
    desktop.Fail(Op::WriteText, 2, 1);
    EXPECT_FALSE(form.Command1_Click());
    EXPECT_EQ(desktop.text, u"hello");
    EXPECT_EQ(desktop.clipboard, u"hello") << "the restored text is mirrored too";
    EXPECT_FALSE(desktop.focused);

    FakeDesktop refusing;
    Form1 other{refusing, refusing};
    refusing.onChange = [&] { other.TextBox1_Change(); };
    refusing.text = u"hello";
    refusing.Fail(Op::PlaceClipboardText, 3, 1); // one mirror fails in the middle
    EXPECT_TRUE(other.Command1_Click());
    EXPECT_EQ(refusing.text.size(), 5u);
    EXPECT_EQ(refusing.clipboard, refusing.text) << "later mirrors go on";
    EXPECT_TRUE(refusing.focused);

    refusing.Fail(Op::EmptyClipboard);
    EXPECT_FALSE(other.TextBox1_Change());
}

class CloseAnimationTest : public Form1Test {};

TEST_F(CloseAnimationTest, MovesUntilTheTopPassesTheScreenWidthThenEnds) {
    desktop.window = {300, 300, 4800, 1800};
    desktop.screenWidth = 900;
    form.Form1_Close();
    EXPECT_TRUE(desktop.ended);
    EXPECT_EQ(desktop.calls.back(), Op::EndProgram);
    EXPECT_EQ(desktop.frames.size(), 21u * 4);
    EXPECT_FLOAT_EQ(desktop.window.top, 930);
    EXPECT_FLOAT_EQ(desktop.window.left, 930);
    EXPECT_FLOAT_EQ(desktop.window.width, 4800 - 21 * 60);
    EXPECT_FLOAT_EQ(desktop.window.height, 1800 - 21 * 60);
}

TEST_F(CloseAnimationTest, AWindowAlreadyPastTheEndMakesOneCycle) {
    desktop.window = {1000, 0, 4800, 1800};
    form.Form1_Close();
    EXPECT_EQ(desktop.frames.size(), 4u);
    EXPECT_FLOAT_EQ(desktop.window.top, 1030);
    EXPECT_TRUE(desktop.ended);
}

TEST_F(CloseAnimationTest, RefusedSizesAreSkippedAndTheWindowKeepsSliding) {
    desktop.window = {0, 0, 600, 400};
    desktop.minimumSize = 100;
    form.Form1_Close();
    EXPECT_FLOAT_EQ(desktop.window.top, 930);
    EXPECT_FLOAT_EQ(desktop.window.width, 120) << "shrinks while allowed, then stays";
    EXPECT_FLOAT_EQ(desktop.window.height, 100);
    EXPECT_TRUE(desktop.ended);
}

TEST_F(CloseAnimationTest, EveryStepReadsTheWindowAfresh) {
    desktop.window = {0, 0, 600, 400};
    form.Form1_Close();
    // A read before each of the four writes, and the top once more at the end of each cycle.
    EXPECT_EQ(desktop.Count(Op::ReadWindow), 31u * 5);
    EXPECT_EQ(desktop.Count(Op::ReadScreenWidth), 31u);
}

TEST_F(CloseAnimationTest, AFailedFinalReadEndsTheProgram) {
    desktop.window = {0, 0, 600, 400};
    desktop.Fail(Op::ReadScreenWidth);
    form.Form1_Close();
    EXPECT_EQ(desktop.frames.size(), 4u);
    EXPECT_TRUE(desktop.ended);

    FakeDesktop other;
    Form1 form2{other, other};
    other.window = {0, 0, 600, 400};
    other.Fail(Op::ReadWindow, 4, 1); // the top, read again after the first cycle
    form2.Form1_Close();
    EXPECT_EQ(other.frames.size(), 4u);
    EXPECT_TRUE(other.ended);
}

TEST_F(CloseAnimationTest, AWindowThatDoesNotMoveEndsAtOnce) {
    desktop.window = {0, 0, 600, 400};
    desktop.windowMoves = false;
    form.Form1_Close();
    EXPECT_EQ(desktop.Count(Op::ReadScreenWidth), 1u);
    EXPECT_TRUE(desktop.ended);
}

} // namespace
} // namespace kelvorin::testing
