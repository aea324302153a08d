#include "fake_desktop.h"
#include "platform/toolkit.h"
#include "window/window_host.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kelvorin::testing {
namespace {

using Texts = std::vector<std::u16string>;

// A toolkit in memory that records each update of the widget and of the clipboard. Its window
// does not move, so closing ends at once.
class FakeToolkit final : public Toolkit {
  public:
    Texts shown;
    Texts placed;
    int clears = 0;
    bool focused = false;
    bool ended = false;
    bool refuseShow = false;
    std::function<void()> whileShowing; // what the widget reports of its own update

    void ShowText(Text text) override {
        if (refuseShow) {
            throw PlatformError("refused");
        }
        shown.emplace_back(text);
        if (whileShowing) {
            whileShowing();
        }
    }
    void SetClipboardText(Text text) override { placed.emplace_back(text); }
    void ClearClipboard() override { ++clears; }
    void TakeFocus() override { focused = true; }
    float ReadWindow(Extent) override { return 0; }
    void WriteWindow(Extent, float) override { throw PlatformError("does not move"); }
    float ReadScreenWidth() override { return 900; }
    void EndProgram() override { ended = true; }
};

class WindowHostTest : public ::testing::Test {
  protected:
    FakeToolkit toolkit;
    FakeDesktop random; // only its draws
    WindowHost host{toolkit, random};
};

TEST_F(WindowHostTest, AReactionUpdatesTheWidgetAndTheClipboardOnceWithWhatItLeft) {
    host.Edited(u"abcd");
    EXPECT_EQ(toolkit.placed, Texts{u"abcd"});
    EXPECT_TRUE(toolkit.shown.empty()) << "the box shows the user's edit already";

    random.draws = {0.9f, 0.1f, 0.5f, 0.0f};
    host.Clicked(); // five writes, five mirrors
    EXPECT_EQ(toolkit.shown, Texts{u"dacb"});
    EXPECT_EQ(toolkit.placed, (Texts{u"abcd", u"dacb"}));
    EXPECT_TRUE(toolkit.focused);

    host.Edited(u"abcd"); // an undo is a change like any other
    EXPECT_EQ(toolkit.placed.back(), u"abcd");

    std::u16string longest(32767, u'a');
    std::fill_n(longest.begin(), 100, u'b');
    host.Edited(longest);
    host.Clicked();
    EXPECT_NE(host.ReadText(), longest);
    EXPECT_EQ(toolkit.shown.back(), host.ReadText());
    EXPECT_EQ(toolkit.placed.back(), host.ReadText());
    EXPECT_EQ(toolkit.shown.size(), 2u);
    EXPECT_EQ(toolkit.placed.size(), 5u);
    EXPECT_EQ(toolkit.clears, 0);
}

TEST_F(WindowHostTest, OnlyAChangeNotifiesAndTheWidgetsEchoIsNoChange) {
    host.WriteText(u"same"); // outside any event: a reaction of its own
    host.WriteText(u"same");
    host.Edited(u"same");
    EXPECT_EQ(toolkit.placed, Texts{u"same"});
    EXPECT_EQ(toolkit.shown, Texts{u"same"});

    toolkit.whileShowing = [this] { host.Edited(u""); }; // an intermediate state of the widget
    host.WriteText(u"new");
    EXPECT_EQ(host.ReadText(), u"new");
    EXPECT_EQ(toolkit.placed, (Texts{u"same", u"new"}));

    // The box's limit falls inside an emoji: the whole emoji goes.
    host.WriteText(std::u16string(32766, u'a') + u"\U0001F600");
    EXPECT_EQ(host.ReadText(), std::u16string(32766, u'a'));
}

TEST_F(WindowHostTest, ARefusedWidgetUpdateComesAgainAndNothingRunsAfterTheEnd) {
    toolkit.refuseShow = true;
    host.WriteText(u"abc");
    EXPECT_EQ(toolkit.placed, Texts{u"abc"}) << "the clipboard goes on";
    toolkit.refuseShow = false;
    host.WriteText(u"abc"); // no change, but a reaction: the widget catches up
    EXPECT_EQ(toolkit.shown, Texts{u"abc"});

    host.Closing();
    EXPECT_TRUE(toolkit.ended && host.Ended());
    host.Clicked();
    host.Edited(u"late");
    EXPECT_EQ(toolkit.placed.size(), 1u);
    EXPECT_EQ(toolkit.shown.size(), 1u);
}

} // namespace
} // namespace kelvorin::testing
