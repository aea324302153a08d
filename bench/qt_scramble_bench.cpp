// A click of "Do" and a keystroke on the real Qt window, every write mirrored to the real
// clipboard, beside the in-memory floor. Offscreen by default; under Xvfb (xvfb-run) the
// clipboard is the X selection.
#include "bench/floor.h"
#include "platform/qt/main_window.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <benchmark/benchmark.h>

namespace {

using kelvorin::Text;

// The real window, counting the mirrors so that the figures show every write was mirrored.
class CountingWindow final : public kelvorin::qt::MainWindow {
  public:
    long long placements = 0;
    void PlaceClipboardText(Text text) override {
        ++placements;
        MainWindow::PlaceClipboardText(text);
    }
};

CountingWindow* window = nullptr;

QString Letters(qsizetype length) {
    return QString::fromStdU16String(kelvorin::bench::Letters(static_cast<std::size_t>(length)));
}

void QtClickDo(benchmark::State& state) {
    auto* box = window->findChild<QLineEdit*>(QStringLiteral("TextBox1"));
    auto* command = window->findChild<QPushButton*>(QStringLiteral("Command1"));
    const QString input = Letters(state.range(0));
    long long mirrors = 0;
    for (auto _ : state) {
        state.PauseTiming();
        box->setText(input);
        const long long before = window->placements;
        state.ResumeTiming();
        command->click();
        mirrors += window->placements - before;
        if (window->placements - before != state.range(0) + 1 ||
            QGuiApplication::clipboard()->text() != box->text()) {
            state.SkipWithError("not every write was mirrored");
        }
    }
    state.counters["mirrors"] =
        benchmark::Counter(static_cast<double>(mirrors), benchmark::Counter::kAvgIterations);
}

// One character typed at the end of a text one short of the limit, and its mirror.
void QtTypeAtEnd(benchmark::State& state) {
    auto* box = window->findChild<QLineEdit*>(QStringLiteral("TextBox1"));
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

BENCHMARK(kelvorin::bench::FloorClick)->Name("Floor")->Arg(32767)->Unit(benchmark::kMillisecond);
BENCHMARK(QtClickDo)->Arg(1000)->Arg(10000)->Arg(32767)->Unit(benchmark::kMillisecond);
BENCHMARK(QtTypeAtEnd)->Unit(benchmark::kMicrosecond);

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    benchmark::Initialize(&argc, argv);
    QApplication application(argc, argv);
    CountingWindow form1;
    form1.show();
    window = &form1;
    benchmark::AddCustomContext("qt_platform", QGuiApplication::platformName().toStdString());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
