#include "platform/qt/main_window.h"
#include "window/form1_design.h"

#include <QAccessible>
#include <QClipboard>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kelvorin::qt {
namespace {

// The real window, with a record of each claim of the clipboard and each move of the window.
class RecordingWindow final : public MainWindow {
  public:
    std::vector<std::u16string> placed;
    std::vector<QRect> frames; // the outer geometry after each move or resize
    int ends = 0;
    std::function<void()> duringFirstWrite;

    void SetClipboardText(Text text, History history) override {
        placed.emplace_back(text);
        MainWindow::SetClipboardText(text, history);
    }
    void WriteWindow(Extent extent, float twips) override {
        if (duringFirstWrite) {
            std::exchange(duringFirstWrite, nullptr)();
        }
        MainWindow::WriteWindow(extent, twips);
        frames.push_back(frameGeometry());
    }
    void EndProgram() override {
        ++ends;
        MainWindow::EndProgram();
    }
};

std::u16string ToU16(const QString& text) { return text.toStdU16String(); }

QString Sorted(QString text) {
    std::sort(text.begin(), text.end());
    return text;
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        QGuiApplication::clipboard()->clear();
        window = std::make_unique<RecordingWindow>();
        box = window->findChild<QLineEdit*>(QStringLiteral("TextBox1"));
        command = window->findChild<QPushButton*>(QStringLiteral("Command1"));
        label = window->findChild<QLabel*>(QStringLiteral("Label1"));
        QVERIFY(box && command && label);
        window->move(100, 50);
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }

    void cleanup() { window.reset(); }

    void windowIsBuiltFromTheTable() {
        QCOMPARE(window->windowTitle(), QStringLiteral("Kelvorin"));
        QCOMPARE(window->size(), QSize(312, 88));
        QCOMPARE(window->palette().color(QPalette::Window), QColor(192, 192, 192));
        QVERIFY(window->autoFillBackground());
        QVERIFY(!window->windowIcon().isNull());
        QCOMPARE(window->windowIcon().availableSizes().value(0), QSize(32, 32));
        QCOMPARE(box->geometry(), QRect(8, 8, 297, 25));
        QCOMPARE(command->geometry(), QRect(80, 48, 145, 25));
        QCOMPARE(label->geometry(), QRect(0, 80, 313, 9));
        QCOMPARE(command->text(), QStringLiteral("Do"));
        QCOMPARE(command->palette().color(QPalette::Button), QColor(192, 192, 192));
        QCOMPARE(label->palette().color(QPalette::Window), QColor(192, 192, 192));
        QVERIFY(label->autoFillBackground());
        QVERIFY(label->text().isEmpty());
        QCOMPARE(box->text(), QString());
        QCOMPARE(box->maxLength(), 32767);
    }

    void fontsAreAskedForByName() {
        const QFont boxFont = box->font();
        QCOMPARE(boxFont.family(), QStringLiteral("Courier New"));
        QCOMPARE(boxFont.pointSizeF(), 9.75);
        QCOMPARE(boxFont.weight(), QFont::Normal);
        QVERIFY(QFontInfo(boxFont).fixedPitch());

        const QFont commandFont = command->font();
        QCOMPARE(commandFont.family(), QStringLiteral("MS Sans Serif"));
        QCOMPARE(commandFont.pointSizeF(), 9.75);
        QCOMPARE(commandFont.weight(), QFont::Bold);
        QVERIFY(!QFontInfo(commandFont).fixedPitch());
        if (QFontDatabase::hasFamily(QStringLiteral("Liberation Sans"))) {
            QCOMPARE(QFontInfo(commandFont).family(), QStringLiteral("Liberation Sans"));
        }
        QCOMPARE(label->font(), QApplication::font(label));
    }

    void tooltips() {
        QCOMPARE(box->toolTip(), QStringLiteral(" Click To Copy To Clipboard "));
        QCOMPARE(label->toolTip(), QStringView(design::kMakersNotice).toString());
        QVERIFY(command->toolTip().isEmpty());
    }

    void screenReadersGetANameForEachControl() {
        const auto said = [](QWidget* widget, QAccessible::Text what) {
            return QAccessible::queryAccessibleInterface(widget)->text(what);
        };
        QCOMPARE(said(box, QAccessible::Name), QStringLiteral("Text to scramble"));
        QCOMPARE(said(command, QAccessible::Name), QStringLiteral("Do"));
        QCOMPARE(said(command, QAccessible::Description),
                 QStringLiteral("Put the characters in a random order"));
        QCOMPARE(said(label, QAccessible::Name), label->toolTip());
    }

    void focusStartsInTheBoxAndTabMovesBetweenBoxAndButton() {
        QCOMPARE(QApplication::focusWidget(), box);
        QTest::keyClick(box, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), command);
        QTest::keyClick(command, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), box);
        QCOMPARE(label->focusPolicy(), Qt::NoFocus);
    }

    void pasteIsMirroredOnceAndHeldToTheLimit_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("after");
        QTest::newRow("too long: the box keeps its text and the paste's start")
            << "xyz" << QString(40000, u'p') << "xyz" + QString(32764, u'p');
        const QString emoji = QStringLiteral("\U0001F600");
        QTest::newRow("the limit falls inside an emoji: the whole emoji goes")
            << "" << QString(32766, u'a') + emoji << QString(32766, u'a');
        QTest::newRow("an emoji that fits stays")
            << "" << QString(32765, u'a') + emoji << QString(32765, u'a') + emoji;
    }

    void pasteIsMirroredOnceAndHeldToTheLimit() {
        QFETCH(QString, before);
        QFETCH(QString, pasted);
        QFETCH(QString, after);
        box->setText(before);
        window->placed.clear();
        QGuiApplication::clipboard()->setText(pasted);
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(box->text(), after);
        QCOMPARE(window->placed, std::vector<std::u16string>{ToU16(after)});
        QCOMPARE(QGuiApplication::clipboard()->text(), after);
    }

    void doFromTheKeyboardClaimsTheClipboardOnceAndReturnsTheFocus() {
        const QString emoji = QStringLiteral("\U0001F600");
        const QString text = "a" + emoji + "bc";
        box->setText(text);
        window->placed.clear();
        QTest::keyClick(box, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), command);
        QTest::keyClick(command, Qt::Key_Space);
        const QString result = box->text();
        QCOMPARE(Sorted(result), Sorted(text));
        QVERIFY(result != text && result.contains(emoji));
        QCOMPARE(window->placed, std::vector<std::u16string>{ToU16(result)});
        QCOMPARE(QGuiApplication::clipboard()->text(), result);
        QCOMPARE(QApplication::focusWidget(), box);
    }

    void closingShrinksSlidesAndEnds() {
        const QRect start = window->frameGeometry();
        const float screenWidth = window->ReadScreenWidth();
        window->close();
        QVERIFY(window->ended());
        QVERIFY(window->isHidden());
        const auto& frames = window->frames;
        QVERIFY(!frames.empty());
        QCOMPARE(frames[0].topLeft(), start.topLeft() + QPoint(0, 2)); // 30 twips down
        QCOMPARE(frames[3].size(), start.size() - QSize(4, 4));        // 60 twips smaller
        QVERIFY(frames.back().y() * kTwipsPerPixel > screenWidth);
        QVERIFY(frames.back().x() > start.x());
        // The size stops at the smallest the window takes while it goes on sliding.
        for (const QRect& frame : frames) {
            QVERIFY(frame.width() >= 1 && frame.height() >= 1);
        }
        QCOMPARE(frames.back().height(), frames[frames.size() - 5].height());

        QCOMPARE(window->ends, 1);

        // Nothing runs any more.
        window->placed.clear();
        command->click();
        box->setText(QStringLiteral("late"));
        QVERIFY(window->placed.empty());
    }

    void aSecondCloseDuringTheAnimationChangesNothing() {
        // As a window manager's second close request would arrive, straight to the window.
        window->duringFirstWrite = [this] {
            QCloseEvent again;
            QApplication::sendEvent(window.get(), &again);
            QVERIFY(!again.isAccepted());
        };
        window->close();
        QCOMPARE(window->ends, 1);
        QVERIFY(window->frames.back().y() * kTwipsPerPixel > window->ReadScreenWidth());
    }

  private:
    std::unique_ptr<RecordingWindow> window;
    QLineEdit* box = nullptr;
    QPushButton* command = nullptr;
    QLabel* label = nullptr;
};

} // namespace kelvorin::qt

QTEST_MAIN(kelvorin::qt::MainWindowTest)
#include "main_window_test.moc"
