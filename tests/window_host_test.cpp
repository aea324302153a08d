#include "fake_desktop.h"
#include "window/window_host.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kelvorin::testing {
namespace {

using Texts = std::vector<std::u16string>;

class WindowHostTest : public ::testing::Test {
  protected:
    FakeDesktop toolkit; // the widget, the clipboard, the window and the draws
    WindowHost host{toolkit, toolkit};
};

TEST_F(WindowHostTest, AReactionUpdatesTheWidgetAndTheClipboardOnceWithWhatItLeft) {
    host.Edited(u"abcd");
    EXPECT_EQ(toolkit.placed, Texts{u"abcd"});
    EXPECT_EQ(toolkit.history, History::Skip) << "a keystroke is no entry for a history";
    EXPECT_EQ(toolkit.Count(Op::ShowText), 0u) << "the box shows the user's edit already";

    toolkit.draws = {0.9f, 0.1f, 0.5f, 0.0f};
    host.Clicked(); // five writes, five mirrors
    EXPECT_EQ(toolkit.text, u"dacb");
    EXPECT_EQ(toolkit.placed, (Texts{u"abcd", u"dacb"}));
    EXPECT_EQ(toolkit.history, History::Keep) << "a click's result is one";
    EXPECT_TRUE(toolkit.focused);

    host.Edited(u"abcd"); // an undo is a change like any other
    EXPECT_EQ(toolkit.placed.back(), u"abcd");

    std::u16string longest(32767, u'a');
    std::fill_n(longest.begin(), 100, u'b');
    host.Edited(longest);
    host.Clicked();
    EXPECT_NE(host.ReadText(), longest);
    EXPECT_EQ(toolkit.text, host.ReadText());
    EXPECT_EQ(toolkit.clipboard, host.ReadText());
    EXPECT_EQ(toolkit.Count(Op::ShowText), 2u);
    EXPECT_EQ(toolkit.Count(Op::SetClipboardText), 5u);
    EXPECT_EQ(toolkit.Count(Op::ClearClipboard), 0u);
}

TEST_F(WindowHostTest, OnlyAChangeNotifiesAndTheWidgetsEchoIsNoChange) {
    host.WriteText(u"same"); // outside any event: a reaction of its own
    host.WriteText(u"same");
    host.Edited(u"same");
    EXPECT_EQ(toolkit.placed, Texts{u"same"});
    EXPECT_EQ(toolkit.Count(Op::ShowText), 1u);

    toolkit.onChange = [this] { host.Edited(u""); }; // an intermediate state of the widget
    host.WriteText(u"new");
    EXPECT_EQ(host.ReadText(), u"new");
    EXPECT_EQ(toolkit.placed, (Texts{u"same", u"new"}));

    // The box's limit falls inside an emoji: the whole emoji goes.
    host.WriteText(std::u16string(32766, u'a') + u"\U0001F600");
    EXPECT_EQ(host.ReadText(), std::u16string(32766, u'a'));
}

TEST_F(WindowHostTest, ARefusedWidgetUpdateIsCaughtUpAndNothingRunsAfterTheEnd) {
    toolkit.Fail(Op::ShowText, 0, 1);
    host.WriteText(u"abc");
    EXPECT_EQ(toolkit.placed, Texts{u"abc"}) << "the clipboard goes on";
    host.WriteText(u"abc"); // no change, but a reaction: the widget catches up
    EXPECT_EQ(toolkit.text, u"abc");

    host.Closing();
    EXPECT_TRUE(toolkit.ended && host.Ended());
    host.Clicked();
    host.Edited(u"late");
    EXPECT_EQ(toolkit.placed.size(), 1u);
    EXPECT_EQ(toolkit.Count(Op::ShowText), 2u);
}

} // namespace
} // namespace kelvorin::testing
