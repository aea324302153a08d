#include "platform/qt/main_window.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("kelvorin"));
    kelvorin::qt::MainWindow form1;
    form1.show();
    // Returning from main, rather than exiting from the closing animation, lets the
    // QApplication's destructor hand the clipboard's content to a clipboard manager.
    return application.exec();
}
