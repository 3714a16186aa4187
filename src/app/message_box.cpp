#include "message_box.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGridLayout>
#include <QMessageBox>
#include <QShowEvent>

#include "window_placement.h"

namespace bramis {
namespace {

// Room in a title bar besides the caption: the window's icon and its buttons.
constexpr int kTitleBarExtras = 160;

// Left to itself, a box lands where the platform's guess puts it, which under
// some window managers and at some scales is the screen's corner: it is
// placed in the middle of its owner's window instead, within that screen.
class CentredMessageBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);  // the box takes its final size here
        if (event->spontaneous()) return;
        CentreOn(*this, ShownWindowOf(parentWidget()));
    }
};

void ShowQtMessageBox(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon) {
    CentredMessageBox box(icon == MessageIcon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon,
                          caption, text, QMessageBox::Ok, owner);
    // The box is as wide as its text; a short text must not cut the caption.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        const int captionWidth = box.fontMetrics().horizontalAdvance(caption) + kTitleBarExtras;
        grid->addItem(new QSpacerItem(captionWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(),
                      0, 1, grid->columnCount());
    }
    box.exec();
}

MessageBoxFunction& CurrentFunction() {
    static MessageBoxFunction function = ShowQtMessageBox;
    return function;
}

}  // namespace

QString ApplicationTitle() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

void ShowMessage(QWidget* owner, const QString& text, MessageIcon icon, const QString& caption) {
    // A copy, so that a box that replaces the function does not pull the
    // running one from under itself.
    const MessageBoxFunction function = CurrentFunction();
    function(owner, text, caption.isEmpty() ? ApplicationTitle() : caption, icon);
}

void SetMessageBoxFunction(MessageBoxFunction function) {
    CurrentFunction() = function ? std::move(function) : MessageBoxFunction(ShowQtMessageBox);
}

}  // namespace bramis
