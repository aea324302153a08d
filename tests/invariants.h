#pragma once

#include "fake_desktop.h"
#include "scrambler/scrambler.h"
#include "window/form1.h"
#include "window/form1_design.h"
#include "window/window_host.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace kelvorin::testing {

// A run to try: a failure schedule, the window, the draws and the box's text. Read from bytes,
// so that the property test and the fuzzer try the same kinds of run.
struct Scenario {
    std::vector<std::array<std::size_t, 3>> failures; // an Op, its first failing call, how many
    FakeDesktop::Geometry window;
    float screenWidth = 0, minimumSize = 0;
    std::vector<float> draws;
    std::u16string text;

    Scenario(const std::uint8_t* data, std::size_t size) {
        std::size_t at = 0;
        const auto next = [&]() -> unsigned { return at < size ? data[at++] : 0u; };
        for (unsigned count = next() % 3; count > 0; --count) {
            const unsigned op = next() % Index(Op::Count_), first = next(), times = next();
            // The first calls most often, then each of the next ones, then steps into long texts.
            failures.push_back({op,
                                first < 64    ? first % 4
                                : first < 192 ? first - 64
                                              : (first - 192) * 1024,
                                times == 0 ? std::size_t(-1) : times});
        }
        static constexpr float kOdd[] = {NAN, INFINITY, -INFINITY, -1e30f};
        const int top = static_cast<std::int8_t>(next());
        window = {top == -128 ? kOdd[next() % 4] : top * 30.0f, 0, next() * 40.0f, next() * 20.0f};
        screenWidth = float(next() % 64) * 30.0f;
        minimumSize = float(next()) * 10.0f;
        static constexpr float kBroken[] = {2.0f, -0.5f, NAN}; // a source that breaks its promise
        for (unsigned count = next() % 16 + 1; count > 0; --count) {
            const unsigned bits = next() << 8 | next();
            draws.push_back(bits < 0xFFFD ? float(bits) * 0x1p-16f : kBroken[bits - 0xFFFD]);
        }
        // Letters, often repeated; whole pairs; lone halves; U+0000; U+FFFF.
        static constexpr char16_t kOther[] = {0xD83D, 0xDE00, 0x0000, 0xFFFF, u'\u00E9', u' '};
        while (at < size) {
            const unsigned byte = next(), kind = byte & 15;
            text += kind < 8    ? std::u16string(1, char16_t(u'a' + (byte >> 4)))
                    : kind < 10 ? std::u16string(u"\U0001F600")
                                : std::u16string(1, kOther[kind - 10]);
        }
    }
};

// The characters of a text as the scrambler moves them: a well-formed pair is one.
inline std::vector<std::u16string> Slots(Text text) {
    std::vector<std::u16string> slots;
    for (std::size_t at = 0; at < text.size(); at += slots.back().size()) {
        const bool pair =
            at + 1 < text.size() && IsHighSurrogate(text[at]) && IsLowSurrogate(text[at + 1]);
        slots.emplace_back(text.substr(at, pair ? 2 : 1));
    }
    return slots;
}

template <class Items> Items Sorted(Items items) {
    std::sort(items.begin(), items.end());
    return items;
}

// Runs the scenario on Form1 over the desktop in memory (a click, then the close), then on a
// WindowHost with the same kind of desktop as its toolkit; returns what broke first, or "".
inline std::string Check(const Scenario& s) {
    std::string broke;
    const auto expect = [&](bool holds, const char* what) {
        if (!holds && broke.empty()) {
            broke = what;
        }
    };
    const auto prepare = [&](FakeDesktop& d) {
        d.window = s.window;
        d.screenWidth = s.screenWidth;
        d.minimumSize = s.minimumSize;
        d.draws = s.draws;
        d.keepTexts = s.text.size() <= 2000;
        for (const auto& [op, first, times] : s.failures) {
            d.Fail(Op(op), first, times);
        }
    };
    const bool sane =
        std::all_of(s.draws.begin(), s.draws.end(), [](float r) { return r >= 0 && r < 1; });
    const auto input = Slots(s.text);
    const std::size_t n = input.size();

    FakeDesktop d;
    prepare(d);
    d.text = d.clipboard = s.text;
    Form1 form{d, d};
    bool mirrored = true;
    d.onChange = [&] {
        const bool ok = form.TextBox1_Change();
        mirrored = mirrored && ok;
        expect(!ok || d.clipboard == d.text, "a mirror left the clipboard unlike the box");
    };
    const bool clicked = form.Command1_Click();
    // Unless the box refused to take the text back too.
    const bool restorable = std::none_of(s.failures.begin(), s.failures.end(), [](const auto& f) {
        return Op(f[0]) == Op::WriteText && f[2] > 1;
    });
    expect(d.text == s.text || Sorted(d.text) == Sorted(s.text) || !restorable,
           "the box is neither the input nor a permutation of it");
    expect(!clicked || !mirrored || d.clipboard == d.text, "a click left the clipboard behind");
    expect(n <= Scrambler::kMaxSlots || (!clicked && d.text == s.text),
           "a text too long to scramble was touched");
    if (d.injected == 0 && sane && n <= Scrambler::kMaxSlots) {
        expect(clicked && d.focused, "a click without failures failed or left the focus elsewhere");
        expect(d.Count(Op::WriteText) == n + 1 && d.Count(Op::NextRandom) == n &&
                   d.Count(Op::SeedFromClock) == 1,
               "a click makes other than n + 1 writes, n draws and one seeding");
        std::vector<std::u16string> pieces;
        for (std::size_t i = 1; i < d.writes.size(); ++i) {
            expect(d.writes[i].starts_with(d.writes[i - 1]), "a write does not extend the last");
            pieces.push_back(
                d.writes[i].substr(std::min(d.writes[i - 1].size(), d.writes[i].size())));
        }
        expect(!d.keepTexts || (d.writes.size() == n + 1 && d.writes[0].empty() &&
                                Sorted(pieces) == Sorted(input)),
               "the writes are not the empty text, then one more character each");
        expect(!d.keepTexts || n < 2 || std::count(input.begin(), input.end(), input.back()) > 1 ||
                   pieces.back() != input.back(),
               "the last character stayed last");
    }
    const std::size_t injected = d.injected;
    d.budget = d.calls.size() + 100000;
    form.Form1_Close();
    expect(d.calls.size() <= d.budget, "the close animation does not end");
    expect(d.Count(Op::EndProgram) == 1 && d.calls.back() == Op::EndProgram,
           "the close does not end the program once, at its end");
    const double from = s.window.top, to = s.screenWidth;
    const double cycles = from > to ? 1 : std::floor((to - from) / 30) + 1;
    expect(
        d.injected != injected || !(std::abs(from) < 1e7) ||
            (double(d.Count(Op::ReadScreenWidth)) == cycles && d.window.top == from + 30 * cycles),
        "the close stops elsewhere than at the first top past the screen's width");

    FakeDesktop t;
    prepare(t);
    t.window.top = t.screenWidth + 1; // the same close as above, in one cycle
    WindowHost host{t, t};
    t.onChange = [&] { host.Edited(u""); }; // the widget passes through other texts as it updates
    const auto claims = [&] { return t.Count(Op::SetClipboardText) + t.Count(Op::ClearClipboard); };
    const auto react = [&](auto event, bool changes) {
        const std::size_t failed = t.injected, shown = t.Count(Op::ShowText), claimed = claims();
        event();
        expect(t.Count(Op::ShowText) <= shown + 1 && claims() <= claimed + 1,
               "a reaction updates the widget or the clipboard more than once");
        expect(host.ReadText().size() <= std::size_t(design::kTextBoxMaxLength),
               "the box passed its limit");
        expect(t.injected != failed || !sane ||
                   (t.text == host.ReadText() && claims() == claimed + changes &&
                    (!changes || t.clipboard == host.ReadText())),
               "a reaction without failures left the widget or the clipboard behind");
    };
    const auto edit = [&](std::u16string typed) {
        return [&t, &host, typed] {
            t.text = typed;
            host.Edited(typed);
        };
    };
    const std::u16string pasted(CutAtCharacter(s.text, design::kTextBoxMaxLength));
    react(edit(pasted), !pasted.empty());
    react([&] { host.Clicked(); }, !pasted.empty());
    const std::u16string shown(host.ReadText());
    react([&] { host.WriteText(shown); }, false); // no change, but the widget catches up
    t.budget = t.calls.size() + 100000;
    react([&] { host.Closing(); }, false);
    const std::size_t calls = t.calls.size();
    host.Clicked();
    host.Edited(u"late");
    expect(t.Count(Op::EndProgram) == 1 &&
               (!host.Ended() || (t.calls.size() == calls && host.ReadText() == shown)),
           "the host did not end once, or reacted after the end");
    return broke;
}

} // namespace kelvorin::testing
