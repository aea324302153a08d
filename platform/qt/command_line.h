#pragma once

#include <string>

namespace kelvorin::qt {

// What the command line asks for, read before Qt starts so that --version and --help answer
// without a display. Qt's own options (-platform NAME, -style NAME, ...) are let through for
// QApplication to take; anything else is refused rather than ignored.
struct CommandLine {
    enum class Action { Run, Answer, Refuse };
    Action action = Action::Run;
    std::string text;     // for Answer, what goes to stdout; for Refuse, to stderr
    std::string display;  // Qt's -display NAME, if given: the X display that Qt opens
    std::string platform; // Qt's -platform NAME, if given
};

CommandLine ReadCommandLine(int argc, const char* const argv[]);

// Without a display Qt aborts, advising to reinstall the program. Before Qt starts: the line to
// print when none of the platforms Qt would try has a display to open (from the command line and
// the environment), else empty. Platforms that need no display, and any doubt, leave it to Qt.
std::string MissingDisplay(const CommandLine& commandLine);

} // namespace kelvorin::qt
