#pragma once

#include "platform/toolkit.h"
#include "platform/window_system.h"

#include <array>
#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace kelvorin::testing {

enum class Op {
    ReadText,
    WriteText,
    TakeFocus,
    ReadWindow,
    WriteWindow,
    ReadScreenWidth,
    EmptyClipboard,
    PlaceClipboardText,
    EndProgram,
    SeedFromClock,
    NextRandom,
    ShowText,
    SetClipboardText,
    ClearClipboard,
    Count_,
};

// A desktop in memory. It records every call, can be told to fail any operation, and raises
// the change notification the way the real boxes must: once per write that changes the text,
// nested before the writer goes on, and not at all for a write that leaves the text as it was.
// It is also the random source, handing out the draws it was given, so that the draws fall
// into the same record of calls. Under a WindowHost it is the toolkit: `text` is then what the
// widget shows, and onChange the widget's report that it changed.
class FakeDesktop final : public WindowSystem, public Toolkit, public RandomSource {
  public:
    struct Geometry {
        float top = 300, left = 300, width = 4800, height = 1800;
    };

    // Called after each changing write; Form1::TextBox1_Change in the tests.
    History history = History::Keep; // what the last placement was worth to a history
    std::function<void()> onChange;

    // Keep every text written and placed, for tests of the sequence; the benchmark keeps
    // only the latest copy.
    bool keepHistory = true;

    std::u16string text;
    std::u16string clipboard;
    bool clipboardHolds = false;
    bool focused = false;
    bool ended = false;
    Geometry window;
    float screenWidth = 900;
    float minimumSize = 0; // writes of a smaller width or height are refused
    bool windowMoves = true;

    std::vector<Op> calls;
    std::vector<std::u16string> writes;
    std::vector<std::u16string> placed;
    std::vector<Geometry> frames; // the window after each move or resize

    // Fail the operation from its `after`-th call on (0: every call), `times` times.
    void Fail(Op op, std::size_t after = 0, std::size_t times = static_cast<std::size_t>(-1)) {
        failures_[op] = {after, times};
    }

    std::size_t Count(Op op) const { return counts_[static_cast<std::size_t>(op)]; }

    // The draws, used in turn and from the start again when they run out.
    std::vector<float> draws{0.0f};

    Text ReadText() override {
        Enter(Op::ReadText);
        return text;
    }

    void WriteText(Text newText) override { WriteAppended(newText, Text()); }

    // Appends in place when given the box's own text, as the real boxes do.
    void WriteAppended(Text head, Text tail) override {
        Enter(Op::WriteText);
        const bool appends = head.data() == text.data() && head.size() == text.size();
        std::u16string joined = appends ? std::u16string() : std::u16string(head).append(tail);
        const bool changes = appends ? !tail.empty() : joined != text;
        if (changes) {
            appends ? void(text.append(tail)) : text.swap(joined);
        }
        if (keepHistory) {
            writes.push_back(text);
        }
        if (changes && onChange) {
            onChange();
        }
    }

    void TakeFocus() override {
        Enter(Op::TakeFocus);
        focused = true;
    }

    float ReadWindow(Extent extent) override {
        Enter(Op::ReadWindow);
        return Field(extent);
    }

    void WriteWindow(Extent extent, float twips) override {
        Enter(Op::WriteWindow);
        const bool isSize = extent == Extent::Width || extent == Extent::Height;
        if (isSize && twips < minimumSize) {
            throw PlatformError("size refused");
        }
        if (!isSize && !windowMoves) {
            throw PlatformError("window does not move");
        }
        Field(extent) = twips;
        frames.push_back(window);
    }

    float ReadScreenWidth() override {
        Enter(Op::ReadScreenWidth);
        return screenWidth;
    }

    void EmptyClipboard() override {
        Enter(Op::EmptyClipboard);
        clipboard.clear();
        clipboardHolds = false;
    }

    void PlaceClipboardText(Text placedText) override {
        Enter(Op::PlaceClipboardText);
        Place(placedText);
    }

    void ShowText(Text shown) override {
        Enter(Op::ShowText);
        text.assign(shown);
        if (onChange) {
            onChange();
        }
    }

    void SetClipboardText(Text placedText, History worth) override {
        Enter(Op::SetClipboardText);
        history = worth;
        Place(placedText);
    }

    void ClearClipboard() override {
        Enter(Op::ClearClipboard);
        clipboard.clear();
        clipboardHolds = false;
    }

    void EndProgram() override {
        Enter(Op::EndProgram);
        ended = true;
    }

    void SeedFromClock() override { Enter(Op::SeedFromClock); }

    float Next() override {
        const std::size_t nth = Count(Op::NextRandom);
        Enter(Op::NextRandom);
        return draws[nth % draws.size()];
    }

  private:
    void Place(Text placedText) {
        clipboard.assign(placedText);
        clipboardHolds = true;
        if (keepHistory) {
            placed.emplace_back(placedText);
        }
    }

    struct Failure {
        std::size_t after;
        std::size_t times;
    };

    void Enter(Op op) {
        const std::size_t nth = counts_[static_cast<std::size_t>(op)]++;
        if (keepHistory) {
            calls.push_back(op);
        }
        const auto failure = failures_.find(op);
        if (failure != failures_.end() && nth >= failure->second.after &&
            nth - failure->second.after < failure->second.times) {
            throw PlatformError("injected failure");
        }
    }

    float& Field(Extent extent) {
        switch (extent) {
        case Extent::Top:
            return window.top;
        case Extent::Left:
            return window.left;
        case Extent::Width:
            return window.width;
        case Extent::Height:
            return window.height;
        }
        return window.top;
    }

    std::map<Op, Failure> failures_;
    std::array<std::size_t, static_cast<std::size_t>(Op::Count_)> counts_{};
};

} // namespace kelvorin::testing
