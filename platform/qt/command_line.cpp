#include "platform/qt/command_line.h"

#include "window/form1_design.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string_view>

#include <unistd.h>

namespace kelvorin::qt {

namespace {

namespace design = kelvorin::design;

// The options that QApplication, QGuiApplication and the xcb platform take from argv, with one
// dash or two.
constexpr std::array<std::string_view, 16> kQtOptionsWithValue = {"platform",
                                                                  "platformpluginpath",
                                                                  "platformtheme",
                                                                  "plugin",
                                                                  "qwindowgeometry",
                                                                  "geometry",
                                                                  "qwindowicon",
                                                                  "icon",
                                                                  "qwindowtitle",
                                                                  "title",
                                                                  "session",
                                                                  "display",
                                                                  "name",
                                                                  "visual",
                                                                  "style",
                                                                  "stylesheet"};
constexpr std::array<std::string_view, 5> kQtFlags = {"reverse", "testability", "widgetcount",
                                                      "nograb", "dograb"};
constexpr std::array<std::string_view, 3> kQtOptionsWithEquals = {
    "style=", "stylesheet=", "qmljsdebugger="};

constexpr std::string_view kUsage =
    "Usage: kelvorin [--help] [--version] [Qt options]\n"
    "Opens a window with a one-line box. Do puts the box's characters in a random order;\n"
    "every change of the box is copied to the clipboard.\n"
    "\n"
    "  -h, --help     print this help and exit\n"
    "      --version  print the version and exit\n"
    "\n"
    "Qt's options, such as -platform NAME or -style NAME, are passed on to Qt.\n";

std::string Narrow(std::u16string_view ascii) { return std::string(ascii.begin(), ascii.end()); }

template <std::size_t N>
bool Contains(const std::array<std::string_view, N>& list, std::string_view name) {
    return std::find(list.begin(), list.end(), name) != list.end();
}

} // namespace

CommandLine ReadCommandLine(int argc, const char* const argv[]) {
    const auto refuse = [](std::string_view problem) {
        return CommandLine{CommandLine::Action::Refuse,
                           "kelvorin: " + std::string(problem) + "\n" + std::string(kUsage),
                           {},
                           {}};
    };
    CommandLine run;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--version") {
            return {CommandLine::Action::Answer,
                    Narrow(design::kProductName) + " " + Narrow(design::kVersion) + "\n",
                    {},
                    {}};
        }
        if (argument == "--help" || argument == "-h") {
            return {CommandLine::Action::Answer, std::string(kUsage), {}, {}};
        }
        if (argument.size() < 2 || argument[0] != '-') {
            return refuse("unexpected argument '" + std::string(argument) + "'");
        }
        const std::string_view name = argument.substr(argument[1] == '-' ? 2 : 1);
        const bool isQtOption =
            Contains(kQtFlags, name) || Contains(kQtOptionsWithValue, name) ||
            std::any_of(kQtOptionsWithEquals.begin(), kQtOptionsWithEquals.end(),
                        [&](std::string_view prefix) { return name.starts_with(prefix); });
        if (!isQtOption) {
            return refuse("unknown option '" + std::string(argument) + "'");
        }
        if (Contains(kQtOptionsWithValue, name) && ++i == argc) {
            return refuse("option '" + std::string(argument) + "' needs a value");
        }
        if (name == "display") {
            run.display = argv[i];
        } else if (name == "platform") {
            run.platform = argv[i];
        }
    }
    return run;
}

std::string MissingDisplay(const CommandLine& commandLine) {
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && *value != '\0';
    };
    const bool x11 = !commandLine.display.empty() || set("DISPLAY");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    // A Wayland client told no display connects to wayland-0.
    const bool wayland =
        set("WAYLAND_DISPLAY") || set("WAYLAND_SOCKET") ||
        (runtime != nullptr && access((std::string(runtime) + "/wayland-0").c_str(), F_OK) == 0);
    // Unless told, Qt takes Wayland where WAYLAND_DISPLAY is set, else X11.
    const char* chosen = std::getenv("QT_QPA_PLATFORM");
    std::string_view platforms = !commandLine.platform.empty() ? commandLine.platform
                                 : chosen != nullptr           ? chosen
                                                               : "";
    if (platforms.empty()) {
        if (x11 || set("WAYLAND_DISPLAY")) {
            return {};
        }
    }
    // A list of names, each tried in turn, each perhaps with options after a colon.
    while (!platforms.empty()) {
        const std::string_view entry = platforms.substr(0, platforms.find(';'));
        platforms.remove_prefix(std::min(platforms.size(), entry.size() + 1));
        const std::string_view name = entry.substr(0, entry.find(':'));
        if (name == "xcb" ? x11 : name.starts_with("wayland") ? wayland : true) {
            return {};
        }
    }
    return "kelvorin: no display to open the window on: neither DISPLAY nor WAYLAND_DISPLAY is "
           "set. Start it in a desktop session, or name a display: DISPLAY=:0 kelvorin\n";
}

} // namespace kelvorin::qt
