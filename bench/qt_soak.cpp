// Clicks of "Do" on the real Qt window, one after another, each on a fresh random text of up to
// 1,000 characters (pasted as a user would), printing the resident memory every 1,000 clicks.
// Memory, unlike time, does not depend on the machine's load, so the run checks one figure: after
// the first 1,000 clicks, when the buffers have reached their working size, the resident memory
// may grow by less than 1 MiB, else the exit status is 1.
//   qt_soak [CLICKS] [SEED]     (10,000 clicks by default; offscreen unless a platform is given)
#include "platform/qt/main_window.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>

namespace {

long ResidentKiB() {
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE) / 1024;
}

// Letters, spaces, accented and CJK characters and emoji, as users paste them.
QString RandomText(std::mt19937& engine) {
    static const char16_t* const kPieces[] = {u"a",      u"e",      u"k",         u" ",
                                              u"\u00E9", u"\u4E2D", u"\U0001F600"};
    QString text;
    const auto length = std::uniform_int_distribution<int>(0, 1000)(engine);
    while (text.size() < length) {
        text += QString::fromUtf16(kPieces[engine() % std::size(kPieces)]);
    }
    return text;
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    const long clicks = argc > 1 ? std::atol(argv[1]) : 10000;
    std::mt19937 engine(argc > 2 ? static_cast<std::uint32_t>(std::atol(argv[2])) : 1u);

    kelvorin::qt::MainWindow window;
    window.show();
    auto* box = window.findChild<QLineEdit*>(QStringLiteral("TextBox1"));
    auto* command = window.findChild<QPushButton*>(QStringLiteral("Command1"));

    long settled = 0;
    std::printf("%8s %14s\n", "clicks", "resident KiB");
    for (long click = 1; click <= clicks; ++click) {
        box->clear();
        box->insert(RandomText(engine));
        command->click();
        QCoreApplication::processEvents(); // what a running event loop would do between clicks
        if (QGuiApplication::clipboard()->text() != box->text()) {
            std::printf("click %ld: the clipboard does not hold the box's text\n", click);
            return 1;
        }
        if (click % 1000 == 0) {
            std::printf("%8ld %14ld\n", click, ResidentKiB());
            settled = click == 1000 ? ResidentKiB() : settled;
        }
    }
    const long growth = ResidentKiB() - settled;
    std::printf("growth after the first 1,000 clicks: %ld KiB\n", growth);
    return settled > 0 && growth >= 1024 ? 1 : 0;
}
