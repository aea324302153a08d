#include "platform/qt/main_window.h"

#include "window/form1_design.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QScopedValueRollback>
#include <QValidator>

#include <algorithm>
#include <utility>

namespace kelvorin::qt {

namespace {

// QLineEdit cuts a paste that does not fit at its limit, even inside a character (a surrogate
// pair, an accented letter, a flag): the box's limit is taken here, between characters, from the
// text as the line edit cut it two code units further on.
class WholeCharacters final : public QValidator {
  public:
    WholeCharacters(QObject* parent, WindowHost& host) : QValidator(parent), host_(host) {}

    // Also called while the window is destroyed, after the host: the host is asked only about
    // an edit past the limit.
    State validate(QString& input, int& pos) const override {
        if (input.size() <= design::kTextBoxMaxLength) {
            return Acceptable;
        }
        const Text text(reinterpret_cast<const char16_t*>(input.utf16()),
                        static_cast<std::size_t>(input.size()));
        const auto end = static_cast<std::size_t>(std::max(pos, 0));
        const std::size_t cut = InsertionCut(text, end, host_.ReadText(), kLimit);
        if (cut < end) {
            input.remove(static_cast<int>(cut), static_cast<int>(end - cut));
            pos = static_cast<int>(cut);
        }
        return Acceptable;
    }

  private:
    static constexpr auto kLimit = static_cast<std::size_t>(design::kTextBoxMaxLength);
    WindowHost& host_;
};

// The line edit, marking its own cuts: Ctrl+X, Shift+Delete and its menu's Cut copy the selection
// and then delete it, within the call marked here. A copy and a delete of the same text, by two
// keys or two menu entries, are no cut, however close together they come.
class TextBox final : public QLineEdit {
  public:
    TextBox(QWidget* parent, bool& cutting) : QLineEdit(parent), cutting_(cutting) {}

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        const QScopedValueRollback cutting(cutting_, event->matches(QKeySequence::Cut));
        QLineEdit::keyPressEvent(event);
    }

    // The standard menu, its Cut marked as the key is.
    void contextMenuEvent(QContextMenuEvent* event) override {
        QMenu* menu = createStandardContextMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        // The one entry that Qt connects to cut(), by name in Qt 6.4 and by member later.
        for (QAction* action : menu->actions()) {
            if (disconnect(action, SIGNAL(triggered()), this, SLOT(cut())) ||
                disconnect(action, &QAction::triggered, this, &QLineEdit::cut)) {
                connect(action, &QAction::triggered, this, [this] {
                    const QScopedValueRollback cutting(cutting_, true);
                    QLineEdit::cut();
                });
            }
        }
        menu->popup(event->globalPos());
    }

  private:
    bool& cutting_;
};

} // namespace

void MainWindow::SetUpTextBox() {
    textBox1_ = new TextBox(this, boxCutting_);
    textBox1_->setMaxLength(kWidgetMaxLength);
    textBox1_->setValidator(new WholeCharacters(textBox1_, host_));
    connect(textBox1_, &QLineEdit::textChanged, this, &MainWindow::OnBoxTextChanged);
}

// Replacing the selected whole text is one edit that Ctrl+Z takes back in one step; setText
// would leave nothing to undo. The line edit records its edits a character at a time and never
// forgets one: on 32,767 characters each click added 65,534 records, and the clicks that grew
// the record took ever longer (90 ms by the 30th). So the record starts afresh at each click
// (setText of the same text clears it, and the text stays as it was): Ctrl+Z takes back the click
// and what was typed after it, not what came before it. setSelection, unlike selectAll, does
// not lay the old text out again. A move of the cursor closes the step, as a paste closes its
// own: without it, typing after a click would be undone together with the click.
void MainWindow::ShowText(Text text) {
    const QString shown = QStringView(text).toString();
    const QString current = textBox1_->text();
    if (current == shown) {
        return;
    }
    textBox1_->setText(current);
    textBox1_->setSelection(0, static_cast<int>(current.size()));
    textBox1_->insert(shown);
    textBox1_->home(false);
    textBox1_->end(false);
}

void MainWindow::TakeFocus() { textBox1_->setFocus(Qt::OtherFocusReason); }

void MainWindow::OnBoxTextChanged(const QString& text) {
    const bool cut = boxCutting_ && std::exchange(boxCopied_, false);
    host_.Edited(Text(reinterpret_cast<const char16_t*>(text.utf16()),
                      static_cast<std::size_t>(text.size())),
                 cut ? Edit::Cut : Edit::Change);
}

} // namespace kelvorin::qt
