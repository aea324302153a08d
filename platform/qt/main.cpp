#include "platform/qt/command_line.h"
#include "platform/qt/end_within.h"
#include "platform/qt/main_window.h"
#include "platform/qt/x11_keeper.h"

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include <unistd.h>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

// With no session bus to join, libdbus would start one (dbus-launch --autolaunch) that outlives
// the program; no screen reader can be on a bus we start, so we go without. An address of no known
// kind fails at once instead.
void NoBusOfOurOwn() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (std::getenv("DBUS_SESSION_BUS_ADDRESS") == nullptr &&
        (runtime == nullptr || access((std::string(runtime) + "/bus").c_str(), F_OK) != 0)) {
        setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    // What keeps the clipboard's text after the end is this program again, started for that.
    if (kelvorin::qt::IsKeeper(argv[0])) {
        return kelvorin::qt::RunKeeper(STDIN_FILENO);
    }
    const auto commandLine = kelvorin::qt::ReadCommandLine(argc, argv);
    if (commandLine.action != kelvorin::qt::CommandLine::Action::Run) {
        const bool answered = commandLine.action == kelvorin::qt::CommandLine::Action::Answer;
        std::fputs(commandLine.text.c_str(), answered ? stdout : stderr);
        return answered ? 0 : 2;
    }
    if (const std::string missing = kelvorin::qt::MissingDisplay(commandLine); !missing.empty()) {
        std::fputs(missing.c_str(), stderr);
        return 1;
    }
#ifdef __GLIBC__
    // A paste of megabytes passes through buffers of that size; glibc would raise its mmap
    // threshold after the first and keep the later ones in the heap, where their memory is not
    // given back once the box keeps its 32,767 characters.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
    NoBusOfOurOwn();
    int status = 0;
    std::optional<kelvorin::qt::EndWithin> teardown;
    {
        QApplication application(argc, argv);
        QGuiApplication::setDesktopFileName(QStringLiteral("kelvorin"));
        kelvorin::qt::MainWindow form1;
        form1.show();
        // Returning from main, rather than exiting from the closing animation, lets the
        // QApplication's destructor hand the clipboard's content to a clipboard manager.
        status = application.exec();
        // Where no clipboard manager takes the text over, a small process of ours serves it on;
        // it is started now, as nothing may end the process before the text is handed over.
        if (const auto kept = form1.ClipboardToKeep(commandLine.display)) {
            kelvorin::qt::ServeAfterEnd(*kept);
        }
        // The text is handed over; what is left may not keep the process. Qt's Wayland display
        // can wait for ever on its event thread as it goes; on X11 Qt waits up to 5 s for a
        // clipboard manager to take the text.
        using namespace std::chrono_literals;
        teardown.emplace(kelvorin::qt::OnWayland() ? 1s : 10s, status);
    }
    teardown.reset();
    return status;
}
