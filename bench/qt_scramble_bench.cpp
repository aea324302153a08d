// A click of "Do" and a keystroke on the real Qt window, beside the floor. Offscreen by default;
// under Xvfb (xvfb-run) the clipboard is the X selection, claimed once per reaction.
#include "bench/floor.h"
#include "platform/qt/main_window.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <memory>

namespace {

using kelvorin::Text;

// The real window, counting its claims of the clipboard.
class CountingWindow final : public kelvorin::qt::MainWindow {
  public:
    long long claims = 0;
    void SetClipboardText(Text text, kelvorin::History history) override {
        ++claims;
        MainWindow::SetClipboardText(text, history);
    }
};

QString Letters(qsizetype length) {
    return QString::fromStdU16String(kelvorin::bench::Letters(static_cast<std::size_t>(length)));
}

QLineEdit* Box(QWidget& window) { return window.findChild<QLineEdit*>(QStringLiteral("TextBox1")); }

// Clicks Do, timed, and checks that the click scrambled the box and claimed the clipboard once
// with the box's new text. Returns how long the click took, in milliseconds.
double Click(benchmark::State& state, CountingWindow& window) {
    const QString before = Box(window)->text();
    const long long claims = window.claims;
    const auto start = std::chrono::steady_clock::now();
    window.findChild<QPushButton*>(QStringLiteral("Command1"))->click();
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    state.PauseTiming();
    const QString shown = Box(window)->text();
    if (window.claims != claims + 1 || QGuiApplication::clipboard()->text() != shown ||
        shown.size() != before.size() || shown == before) {
        state.SkipWithError("the click did not end in one claim of the scrambled text");
    }
    state.ResumeTiming();
    return took.count();
}

std::unique_ptr<CountingWindow> window;

// Click after click on one window, each on the result of the last, as a user would: whatever
// the earlier clicks left behind (an undo record, grown buffers) is there for the next one.
void QtClickDo(benchmark::State& state) {
    Box(*window)->clear();
    Box(*window)->insert(Letters(state.range(0))); // as a paste would
    double slowest = 0;
    for (auto _ : state) {
        slowest = std::max(slowest, Click(state, *window));
    }
    state.counters["slowest_ms"] = slowest;
}

// The first click on a window just made, after a paste: nothing has warmed its buffers.
void QtFirstClickDo(benchmark::State& state) {
    const QString input = Letters(state.range(0));
    double slowest = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto fresh = std::make_unique<CountingWindow>();
        fresh->show();
        Box(*fresh)->insert(input);
        state.ResumeTiming();
        slowest = std::max(slowest, Click(state, *fresh));
        state.PauseTiming();
        fresh.reset();
        state.ResumeTiming();
    }
    state.counters["slowest_ms"] = slowest;
}

// One character typed at the end of a text one short of the limit, and its mirror.
void QtTypeAtEnd(benchmark::State& state) {
    QLineEdit* box = Box(*window);
    box->setText(Letters(32766));
    box->end(false);
    for (auto _ : state) {
        QTest::keyClick(box, Qt::Key_X);
        state.PauseTiming();
        if (QGuiApplication::clipboard()->text().size() != 32767) {
            state.SkipWithError("the keystroke was not mirrored");
        }
        QTest::keyClick(box, Qt::Key_Backspace);
        state.ResumeTiming();
    }
}

} // namespace

// The first clicks run first, before anything else in the process has run.
BENCHMARK(QtFirstClickDo)->Arg(32767)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(kelvorin::bench::Floor)
    ->Name("Floor")
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(32767)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(QtClickDo)->Arg(1000)->Arg(10000)->Arg(32767)->Unit(benchmark::kMillisecond);
BENCHMARK(QtTypeAtEnd)->Unit(benchmark::kMillisecond);

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    benchmark::Initialize(&argc, argv);
    kelvorin::bench::AddCacheContext();
    QApplication application(argc, argv);
    window = std::make_unique<CountingWindow>();
    window->show();
    benchmark::AddCustomContext("qt_platform", QGuiApplication::platformName().toStdString());
    kelvorin::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    window.reset();
    return 0;
}
