#pragma once

#include "platform/toolkit.h"
#include "scrambler/clusters.h"
#include "window/form1_design.h"
#include "window/window_host.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kelvorin::testing {

using namespace std::string_view_literals;

// clang-format off
enum class Op { ReadText, WriteText, TakeFocus, ReadWindow, WriteWindow, ReadScreenWidth,
                EmptyClipboard, PlaceClipboardText, EndProgram, SeedFromClock, NextRandom, ShowText,
                SetClipboardText, ClearClipboard, Count_ };
// clang-format on
struct Runaway {}; // no platform failure: it passes every handler and ends a loop without end
template <class Enum> constexpr std::size_t Index(Enum e) { return static_cast<std::size_t>(e); }

// A desktop in memory, also the toolkit under a WindowHost and the random source. It records its
// calls, fails any operation on a schedule, and raises the change notification as the real boxes
// must: once per write that changes the text, before the writer goes on.
class FakeDesktop final : public WindowSystem, public Toolkit, public RandomSource {
  public:
    std::u16string text, clipboard;
    std::array<float, 4> window{};          // top, left, width, height: as Extent
    float screenWidth = 0, minimumSize = 0; // a smaller width or height is refused
    std::vector<float> draws;               // handed out in turn, over and over
    std::function<void()> onChange;         // after each changing write, and as ShowText's echo
    std::vector<std::u16string> writes;     // each text written, in order, while it is short
    std::vector<Op> calls;
    std::size_t injected = 0, budget = std::size_t(-1); // the failures thrown; the calls allowed
    bool busy = false; // the failures are steps not carried out yet, rather than refused
    // For each operation, the first of its calls to fail, counted from 0, and how many fail.
    std::array<std::pair<std::size_t, std::size_t>, Index(Op::Count_)> failures{};

    std::size_t Count(Op op) const { return counts_[Index(op)]; }
    bool Fails(Op op, std::size_t nth) const {
        const auto [after, times] = failures[Index(op)];
        return nth >= after && nth - after < times;
    }

    Text ReadText() override { return Enter(Op::ReadText), text; }
    void WriteText(Text newText) override { WriteAppended(newText, Text()); }
    void WriteAppended(Text head, Text tail) override {
        Enter(Op::WriteText);
        const bool inPlace = head.data() == text.data() && head.size() == text.size();
        std::u16string written = inPlace ? std::u16string() : std::u16string(head).append(tail);
        const bool changes = inPlace ? !tail.empty() : written != text;
        inPlace ? void(text.append(tail)) : text.swap(written);
        text.size() <= 2000 ? writes.push_back(text) : void();
        changes ? Changed() : void();
    }
    void TakeFocus() override { Enter(Op::TakeFocus); }
    float ReadWindow(Extent e) override { return Enter(Op::ReadWindow), window[Index(e)]; }
    void WriteWindow(Extent extent, float twips) override {
        Enter(Op::WriteWindow);
        if ((extent == Extent::Width || extent == Extent::Height) && twips < minimumSize) {
            throw PlatformError("size refused");
        }
        window[Index(extent)] = twips;
    }
    float ReadScreenWidth() override { return Enter(Op::ReadScreenWidth), screenWidth; }
    void EmptyClipboard() override { Enter(Op::EmptyClipboard), clipboard.clear(); }
    void PlaceClipboardText(Text t) override { Enter(Op::PlaceClipboardText), clipboard.assign(t); }
    void ShowText(Text t) override { Enter(Op::ShowText), text.assign(t), Changed(); }
    void SetClipboardText(Text t, History) override {
        Enter(Op::SetClipboardText), clipboard.assign(t);
    }
    void ClearClipboard() override { Enter(Op::ClearClipboard), clipboard.clear(); }
    void EndProgram() override { Enter(Op::EndProgram); }
    void SeedFromClock() override { Enter(Op::SeedFromClock); }
    float Next() override {
        return Enter(Op::NextRandom), draws[(Count(Op::NextRandom) - 1) % draws.size()];
    }

  private:
    void Changed() const { onChange ? onChange() : void(); }
    void Enter(Op op) {
        const std::size_t nth = counts_[Index(op)]++;
        calls.push_back(op);
        if (calls.size() > budget) {
            throw Runaway();
        }
        if (Fails(op, nth)) {
            ++injected;
            busy ? throw PlatformBusy("injected: not yet")
                 : throw PlatformError("injected failure");
        }
    }

    std::array<std::size_t, Index(Op::Count_)> counts_{};
};

// A run to try, read from bytes: a failure schedule, the window, the draws and the box's text.
struct Scenario {
    FakeDesktop desktop; // failing on the schedule, with the window and the draws
    std::u16string text;
    bool sane = true;       // the draws lie in [0, 1)
    bool restorable = true; // a failed write leaves the next one to put the text back

    Scenario(const std::uint8_t* data, std::size_t size) {
        std::size_t at = 0;
        const auto next = [&]() -> unsigned { return at < size ? data[at++] : 0u; };
        // One run in four, the desktop carries the window's moves out late, for a while.
        const unsigned schedules = next();
        desktop.busy = schedules >= 192;
        for (unsigned count = schedules % 3; count > 0; --count) {
            const auto op = desktop.busy ? Op::WriteWindow : Op(next() % Index(Op::Count_));
            const unsigned first = next(), times = next() | (desktop.busy ? 32u : 0u);
            // The first calls most often, then each of the next ones, then steps into long texts;
            // one schedule in eight fails for good.
            desktop.failures[Index(op)] = {first < 64    ? first % 4
                                           : first < 192 ? first - 64
                                                         : (first - 192) * 1024,
                                           times < 32 ? std::size_t(-1) : times - 31};
            restorable = restorable && !(op == Op::WriteText && times != 32);
        }
        static constexpr float kOdd[] = {NAN, INFINITY, -INFINITY, -1e30f};
        const int top = static_cast<std::int8_t>(next());
        desktop.window = {top == -128 ? kOdd[next() % 4] : top * 30.0f, 0, next() * 40.0f,
                          next() * 20.0f};
        desktop.screenWidth = float(next() % 64) * 30.0f;
        desktop.minimumSize = float(next()) * 10.0f;
        static constexpr float kBroken[] = {2.0f, -0.5f, NAN}; // a source that breaks its promise
        for (unsigned count = next() % 16 + 1; count > 0; --count) {
            const unsigned bits = next() << 8 | next();
            desktop.draws.push_back(bits < 0xFFFD ? float(bits) * 0x1p-16f
                                                  : kBroken[bits - 0xFFFD]);
            sane = sane && bits < 0xFFFD;
        }
        // Letters, often repeated, and what joins them into longer characters or stands alone:
        // accents, conjuncts and viramas, joiners, variation selectors, regional indicators,
        // Prepend and spacing marks, Hangul jamo, emoji, skin tones, lone surrogates, controls.
        // clang-format off
        static constexpr std::u16string_view kOther[] = {
            u"\U0001F600", u"\U0001F469", u"\u2764", u"\U0001F3FD", u"\u0301", u"\u0303",
            u"\u0915\u094D\u0937", u"\u0924\u094D", u"\u200D", u"\u200D", u"\uFE0F", u"\u200C",
            u"\U0001F1E9", u"\U0001F1EA", u"\U0001F1EB", u"\U0001F1F7", u"\u0600", u"\u093F",
            u"\u0915", u"\u094D", u"\u1100", u"\u1161", u"\u11A8", u"\uAC00", u"\xD83D", u"\xDE00",
            u"\xD83D", u"\xDE00", u"\0"sv, u"\r", u"\n", u"\uFFFF", u"\u00E9", u" ", u"\u00E9",
            u" ", u"\U0001F44D", u"\U0001F468", u"\U0001F3F3", u"\U0001F308"};
        // clang-format on
        while (at < size) {
            const unsigned byte = next(), kind = byte & 15;
            text += kind < 6 ? std::u16string(1, char16_t(u'a' + (byte >> 4)))
                             : std::u16string(kOther[(kind - 6) * 4 + (byte >> 6)]);
        }
    }
};

// The characters of a text as the scrambler moves them: what a reader sees as one.
inline std::vector<std::u16string> Clusters(Text text) {
    std::vector<std::u16string> clusters;
    for (std::size_t at = 0; at < text.size(); at += clusters.back().size()) {
        clusters.emplace_back(text.substr(at, ClusterLength(text, at)));
    }
    return clusters;
}

template <class Items> Items Sorted(Items items) { return std::ranges::sort(items), items; }

// Plays the run on Form1 over the desktop in memory (a click, then the close), on a WindowHost
// with such a desktop as its toolkit, and types past a limit into its text. Returns what broke.
inline std::string Check(const Scenario& s) {
    std::string broke;
    const auto expect = [&](bool holds, const char* what) { broke += holds ? "" : what; };
    const auto input = Clusters(s.text);
    const std::size_t n = input.size();

    FakeDesktop d = s.desktop;
    d.text = d.clipboard = s.text;
    Form1 form{d, d};
    d.onChange = [&] {
        // memcmp: a compare per write must stay quick on long texts under the sanitizers
        expect(!form.TextBox1_Change() || std::ranges::equal(d.text, d.clipboard),
               "A mirror left another text. ");
    };
    const bool clicked = form.Command1_Click();
    expect(d.text == s.text || Sorted(d.text) == Sorted(s.text) || !s.restorable,
           "The box is neither the input nor a permutation of it. ");
    if (d.injected == 0 && s.sane) {
        const auto seeding = std::ranges::find(d.calls, Op::SeedFromClock);
        expect(
            clicked && d.Count(Op::WriteText) == n + 1 && d.Count(Op::NextRandom) == n &&
                d.Count(Op::SeedFromClock) == 1 &&
                std::ranges::find(d.calls, Op::NextRandom) > seeding &&
                d.Count(Op::TakeFocus) == 1 && d.calls.back() == Op::TakeFocus &&
                d.Count(Op::EmptyClipboard) == d.Count(Op::PlaceClipboardText),
            "A click failed, or wrote other than n + 1 times, drew other than n after a seeding, "
            "took the focus other than once at the end, or placed unemptied. ");
        std::vector<std::u16string> pieces; // what each write added to the one before, or "?"
        for (std::size_t i = 1; i < d.writes.size(); ++i) {
            const bool extends = d.writes[i].starts_with(d.writes[i - 1]);
            pieces.push_back(extends ? d.writes[i].substr(d.writes[i - 1].size()) : u"?");
        }
        expect(s.text.size() > 2000 || (d.writes.size() == n + 1 && d.writes[0].empty() &&
                                        Sorted(pieces) == Sorted(input)),
               "The writes are not the empty text, then one more of the input's characters each. ");
    }

    const std::size_t injected = d.injected;
    d.budget = d.calls.size() + 100000;
    form.Form1_Close();
    // Each step of a cycle starts with a read, attempted whatever failed before it.
    expect(d.Count(Op::EndProgram) == 1 && d.calls.back() == Op::EndProgram &&
               d.Count(Op::ReadWindow) % 5 == 0,
           "The close did not end the program once at its end, or a failing step took another. ");
    // Unfailed, it slides to the first top past the screen's width, as far right, not growing.
    const auto [top, left, width, height] = s.desktop.window;
    const float screen = s.desktop.screenWidth;
    expect(d.injected != injected || !(std::abs(top) < 1e7) ||
               (d.window[0] > screen && (d.window[0] - 30 <= screen || d.window[0] == top + 30) &&
                d.window[1] - left == d.window[0] - top && d.window[2] <= width &&
                d.window[3] <= height),
           "The close stopped elsewhere than at the first top past the screen's width. ");
    expect(!d.busy || !(std::abs(top) < 1e7) || d.window[0] > screen,
           "The close ended at a step that the desktop had not carried out yet. ");

    FakeDesktop t = s.desktop;
    t.window[0] = t.screenWidth + 1; // the same close as above, in one cycle
    WindowHost host{t, t};
    t.onChange = [&] { host.Edited(u""); }; // the widget passes through other texts as it updates
    const auto claims = [&] { return t.Count(Op::SetClipboardText) + t.Count(Op::ClearClipboard); };
    const auto react = [&](auto event, bool changes) {
        const std::size_t failed = t.injected, shown = t.Count(Op::ShowText), claimed = claims();
        event();
        expect(t.Count(Op::ShowText) <= shown + 1 && claims() <= claimed + 1 &&
                   host.ReadText().size() <= std::size_t(design::kTextBoxMaxLength),
               "A reaction updated the widget or the clipboard twice, or passed the limit. ");
        expect(t.injected != failed || !s.sane ||
                   (t.text == host.ReadText() && claims() == claimed + changes &&
                    (!changes || t.clipboard == host.ReadText())),
               "A reaction without failures left the widget or the clipboard behind. ");
    };
    // Pasted uncut, as another program may set the box: the host cuts it and shows the cut.
    react([&] { t.text = s.text, host.Edited(s.text); }, !s.text.empty());
    react([&] { host.Clicked(); }, !s.text.empty());
    const std::u16string scrambled(host.ReadText());
    react([&] { host.WriteText(scrambled); }, false); // no change, but the widget catches up
    // A cut has put what it removed on the clipboard: the rest is not placed over it.
    const std::u16string shown = scrambled.substr(0, scrambled.size() / 2);
    react([&] { t.text = shown, host.Edited(shown, Edit::Cut); }, false);
    t.budget = t.calls.size() + 100000;
    react([&] { host.Closing(); }, false);
    const std::size_t calls = t.calls.size();
    host.Clicked();
    host.Edited(u"late");
    expect(t.Count(Op::EndProgram) == 1 && host.Ended() != t.Fails(Op::EndProgram, 0) &&
               (!host.Ended() || (t.calls.size() == calls && host.ReadText() == shown)),
           "The host did not end once, or reacted after the end. ");

    // A keystroke or paste at the cursor (between head and tail), into a box with 0 to 2 units of
    // room, loses only its own tail, whole characters at a time, also when it repeats what follows.
    const std::u16string head(CutAtCharacter(s.text, s.text.size() * (n % 4) / 3));
    const std::u16string tail = s.text.substr(head.size());
    const std::u16string next(tail.substr(0, tail.empty() ? 0 : ClusterLength(tail, 0)));
    const std::size_t limit = s.text.size() + s.desktop.draws.size() % 3;
    for (const std::u16string& typed : {next + u"c", s.text}) {
        const std::u16string before = head + typed;
        std::u16string text = before + tail;
        const std::size_t cut = InsertionCut(text, before.size(), s.text, limit);
        text.erase(cut, before.size() - cut);
        const std::size_t fits = head.size() + std::min(typed.size(), limit - s.text.size());
        const std::size_t kept = std::max(head.size(), CutAtCharacter(before, fits).size());
        expect(CutAtCharacter(text, limit) ==
                   Text(head + typed.substr(0, kept - head.size()) + tail),
               "An insertion past the limit lost other than its own tail's characters. ");
    }
    return broke;
}

} // namespace kelvorin::testing
