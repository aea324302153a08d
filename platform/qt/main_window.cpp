#include "platform/qt/main_window.h"

#include "window/form1_accessibility.h"
#include "window/form1_design.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QToolTip>
#include <QWindow>

#include "resources/kelvorin.xpm"

namespace kelvorin::qt {

namespace {

namespace design = kelvorin::design;

constexpr float kDpi = 96.0f;

int Pixels(float twips) { return design::TwipsToPixels(twips, kDpi); }

QString ToQString(std::u16string_view text) { return QStringView(text).toString(); }

QColor ToQColor(std::uint32_t colour) {
    return QColor(design::Red(colour), design::Green(colour), design::Blue(colour));
}

QFont MakeFont(const design::Font& font) {
    QFont qfont(ToQString(font.face));
    qfont.setPointSizeF(font.points);
    qfont.setWeight(font.weight >= 700 ? QFont::Bold : QFont::Normal);
    return qfont;
}

void Place(QWidget* widget, const design::Control& control) {
    widget->setObjectName(ToQString(control.name));
    widget->setGeometry(Pixels(control.rect.left), Pixels(control.rect.top),
                        Pixels(control.rect.width), Pixels(control.rect.height));
    if (control.font != nullptr) {
        widget->setFont(MakeFont(*control.font));
    }
    if (control.hasBackColour) {
        QPalette palette = widget->palette();
        palette.setColor(QPalette::Window, ToQColor(control.backColour));
        palette.setColor(QPalette::Button, ToQColor(control.backColour));
        widget->setPalette(palette);
    }
    widget->setToolTip(ToQString(control.tooltip));
    widget->setAccessibleName(ToQString(design::AccessibleTextOf(control).name));
    widget->setAccessibleDescription(ToQString(design::AccessibleTextOf(control).description));
}

} // namespace

MainWindow::MainWindow() {
    // No such face on Linux; Liberation Sans shares Arial's metrics, the nearest we ship.
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));

    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(ToQString(design::kForm1Caption));
    setWindowIcon(QIcon(QPixmap(kelvorin_xpm)));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, ToQColor(design::kForm1BackColour));
    setPalette(palette);
    setAutoFillBackground(true);
    setFixedSize(Pixels(design::kClientWidth), Pixels(design::kClientHeight));
    // A window of a fixed size offers no maximize button, nor edges to resize it by.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    SetX11Resizable(*this, false);
    // Nor a maximized state, whoever asks for it: the title bar Qt draws on Wayland (GNOME) has a
    // maximize button whatever the flags say, and a compositor's shortcut may ask too.
    create();
    connect(windowHandle(), &QWindow::windowStateChanged, this, [this] {
        if (windowHandle()->windowStates() & Qt::WindowMaximized) {
            windowHandle()->setWindowStates(windowHandle()->windowStates() & ~Qt::WindowMaximized);
        }
    });

    SetUpTextBox();
    Place(textBox1_, design::kTextBox1);
    SetUpClipboard();

    command1_ = new QPushButton(ToQString(design::kCommand1.caption), this);
    Place(command1_, design::kCommand1);
    command1_->setAutoDefault(true); // Enter presses it when it has the focus, as Space does

    label1_ = new QLabel(this);
    Place(label1_, design::kLabel1);
    label1_->setAutoFillBackground(true);

    setTabOrder(textBox1_, command1_);
    textBox1_->setFocus();

    connect(command1_, &QPushButton::clicked, this, [this] { host_.Clicked(); });
}

MainWindow::~MainWindow() = default;

void MainWindow::EndProgram() {
    if (OnWayland() && closing_) {
        ShrinkInPlace();
    }
    hide();
    QCoreApplication::quit();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // A second close request, arriving while the animation waits for the window manager,
    // changes nothing: the animation under way ends the program.
    if (closing_) {
        event->ignore();
        return;
    }
    closing_ = true;
    // A tooltip would float where the window was through the whole animation, and none may
    // show during it. Qt hides a tooltip 300 ms after it is asked to, a good part of the
    // animation: its window, Qt's QTipLabel, is hidden at once.
    QToolTip::hideText();
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->inherits("QTipLabel")) {
            window->hide();
        }
    }
    textBox1_->setToolTip({});
    label1_->setToolTip({});
    host_.Closing();
    event->accept();
}

void MainWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && !isActiveWindow()) {
        SettleClipboard(); // the user takes a typed text elsewhere: a history may keep it now
    }
    QWidget::changeEvent(event);
}

} // namespace kelvorin::qt
