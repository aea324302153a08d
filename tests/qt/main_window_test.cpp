#include "platform/qt/main_window.h"
#include "platform/qt/x11_keeper.h"

#include <QtTest>
#include <QtWidgets>

#include <optional>

// What a window and each control show, the window's icon included, and what a screen reader says.
QStringList Shown(QWidget* w) {
    QString line;
    QDebug(&line) << QRect(w->pos(), w->size()) << w->property("text").toString()
                  << w->font().family() << w->font().pointSizeF() << w->font().weight()
                  << w->palette().color(w->backgroundRole()).name().mid(1) << w->toolTip()
                  << QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name)
                  << w->accessibleDescription() << w->windowIcon().availableSizes();
    QStringList shown{line.trimmed()};
    for (QWidget* control : w->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        shown << Shown(control);
    }
    return shown;
}

class MainWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        window.emplace();
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(&*window));
    }

    void widgetsShowTheirLayoutFontsColoursAndNames() {
        const QStringList expected{
            R"(QRect(0,0 312x88) "" "Sans Serif" 9 QFont::Normal "c0c0c0" "" "Kelvorin" "" QList(QSize(32, 32)))",
            R"(QRect(8,8 297x25) "" "Courier New" 9.75 QFont::Normal "ffffff" " Click To Copy To Clipboard " "Text to scramble" "" QList(QSize(32, 32)))",
            R"(QRect(80,48 145x25) "Do" "MS Sans Serif" 9.75 QFont::Bold "c0c0c0" "" "Do" "Put the characters in a random order" QList(QSize(32, 32)))",
            R"(QRect(0,80 313x9) "" "Sans Serif" 9 QFont::Normal "c0c0c0" "Kelvorin 1.00.0001 © 2026 the Kelvorin authors" "Kelvorin 1.00.0001 © 2026 the Kelvorin authors" "" QList(QSize(32, 32)))"};
        QCOMPARE(Shown(&*window), expected);
        QCOMPARE(QFontInfo(command()->font()).family(), QStringLiteral("Liberation Sans"));
    }

    void tabToDoAndSpaceClicksOnceGivingTheFocusBack() {
        box()->setText(QStringLiteral("abc"));
        QSignalSpy claims(QGuiApplication::clipboard(), &QClipboard::dataChanged);
        QTest::keyClick(box(), Qt::Key_Tab);
        QTest::keyClick(command(), Qt::Key_Space);
        QCOMPARE(claims.count(), 1);
        QCOMPARE(QApplication::focusWidget(), box());
    }

    // The menu's Cut, as Ctrl+X does, leaves the text it cut on the clipboard.
    void theMenusCutKeepsWhatItCut() {
        box()->setText(QStringLiteral("hello world"));
        box()->setSelection(6, 5);
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, {}, box()->mapToGlobal(QPoint()));
        QApplication::sendEvent(box(), &menu);
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_T); // its Cu&t
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("world"));
        QCOMPARE(box()->text(), QStringLiteral("hello "));
    }

    // The keeper is handed the text whole or serves nothing: a stream cut anywhere is refused.
    void theKeeperTakesAWholeMessageOnly() {
        const kelvorin::qt::KeptClipboard kept{"h\xC3\xA9!", "h\xE9!", 0x2a00007, ":7"};
        const std::string packed = kelvorin::qt::PackKept(kept);
        for (std::size_t size = 0; size < packed.size(); ++size) {
            QVERIFY(!kelvorin::qt::UnpackKept(std::string_view(packed).substr(0, size)));
        }
        QVERIFY(!kelvorin::qt::UnpackKept(packed + "?"));
        const auto read = kelvorin::qt::UnpackKept(packed);
        QVERIFY(read && kelvorin::qt::PackKept(*read) == packed);
    }

  private:
    QLineEdit* box() const { return window->findChild<QLineEdit*>(); }
    QPushButton* command() const { return window->findChild<QPushButton*>(); }
    std::optional<kelvorin::qt::MainWindow> window;
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
