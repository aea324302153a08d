#pragma once

#include "platform/toolkit.h"
#include "platform/window_system.h"

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace kelvorin::testing {

// clang-format off
enum class Op { ReadText, WriteText, TakeFocus, ReadWindow, WriteWindow, ReadScreenWidth,
                EmptyClipboard, PlaceClipboardText, EndProgram, SeedFromClock, NextRandom, ShowText,
                SetClipboardText, ClearClipboard, Count_ };
// clang-format on
struct Runaway {}; // thrown once a loop has gone on long past its budget of calls
constexpr std::size_t Index(Op op) { return static_cast<std::size_t>(op); }

// A desktop in memory, also the toolkit under a WindowHost and the random source. It records its
// calls, fails any operation on a schedule, and raises the change notification as the real boxes
// must: once per write that changes the text, before the writer goes on.
class FakeDesktop final : public WindowSystem, public Toolkit, public RandomSource {
  public:
    struct Geometry {
        float top = 300, left = 300, width = 4800, height = 1800;
    };

    std::u16string text, clipboard;
    Geometry window;
    float screenWidth = 900, minimumSize = 0; // a smaller width or height is refused
    std::vector<float> draws{0.0f};           // handed out in turn, over and over
    std::function<void()> onChange;           // after each changing write, and as ShowText's echo
    History history = History::Keep;
    bool keepTexts = true; // each text written and placed, in order
    std::vector<std::u16string> writes, placed;
    std::vector<Op> calls;
    std::size_t injected = 0, budget = std::size_t(-1); // past `budget` calls, every call fails

    // Fails the operation's calls number `after` to `after + times - 1`, counted from 0.
    void Fail(Op op, std::size_t after, std::size_t times) {
        failures_[Index(op)] = {after, times};
    }
    std::size_t Count(Op op) const { return counts_[Index(op)]; }

    Text ReadText() override { return Enter(Op::ReadText), text; }
    void WriteText(Text newText) override { WriteAppended(newText, Text()); }
    void WriteAppended(Text head, Text tail) override {
        Enter(Op::WriteText);
        const bool inPlace = head.data() == text.data() && head.size() == text.size();
        std::u16string written = inPlace ? std::u16string() : std::u16string(head).append(tail);
        const bool changes = inPlace ? !tail.empty() : written != text;
        inPlace ? void(text.append(tail)) : text.swap(written);
        Record(writes, text);
        if (changes && onChange) {
            onChange();
        }
    }
    void TakeFocus() override { Enter(Op::TakeFocus); }
    float ReadWindow(Extent extent) override { return Enter(Op::ReadWindow), Field(extent); }
    void WriteWindow(Extent extent, float twips) override {
        Enter(Op::WriteWindow);
        if ((extent == Extent::Width || extent == Extent::Height) && twips < minimumSize) {
            throw PlatformError("size refused");
        }
        Field(extent) = twips;
    }
    float ReadScreenWidth() override { return Enter(Op::ReadScreenWidth), screenWidth; }
    void EmptyClipboard() override { Enter(Op::EmptyClipboard), clipboard.clear(); }
    void PlaceClipboardText(Text t) override { Enter(Op::PlaceClipboardText), Place(t); }
    void ShowText(Text t) override {
        Enter(Op::ShowText), text.assign(t);
        if (onChange) {
            onChange();
        }
    }
    void SetClipboardText(Text t, History h) override {
        Enter(Op::SetClipboardText), history = h, Place(t);
    }
    void ClearClipboard() override { Enter(Op::ClearClipboard), clipboard.clear(); }
    void EndProgram() override { Enter(Op::EndProgram); }
    void SeedFromClock() override { Enter(Op::SeedFromClock); }
    float Next() override {
        return Enter(Op::NextRandom), draws[(Count(Op::NextRandom) - 1) % draws.size()];
    }

  private:
    void Record(std::vector<std::u16string>& texts, Text t) {
        if (keepTexts) {
            texts.emplace_back(t);
        }
    }
    void Place(Text t) { clipboard.assign(t), Record(placed, t); }
    void Enter(Op op) {
        const std::size_t nth = counts_[Index(op)]++;
        calls.push_back(op);
        if (calls.size() > budget && calls.size() - budget > 100000) {
            throw Runaway(); // no platform failure, so past every handler: the loop ignores them
        }
        const auto [after, times] = failures_[Index(op)];
        if (calls.size() > budget || (nth >= after && nth - after < times)) {
            ++injected;
            throw PlatformError("injected failure");
        }
    }
    float& Field(Extent e) {
        return e == Extent::Top     ? window.top
               : e == Extent::Left  ? window.left
               : e == Extent::Width ? window.width
                                    : window.height;
    }

    std::array<std::pair<std::size_t, std::size_t>, Index(Op::Count_)> failures_{};
    std::array<std::size_t, Index(Op::Count_)> counts_{};
};

} // namespace kelvorin::testing
