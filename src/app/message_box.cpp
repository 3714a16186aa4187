#include "message_box.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>

namespace bramis {
namespace {

void ShowQtMessageBox(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon) {
    QMessageBox box(icon == MessageIcon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon,
                    caption, text, QMessageBox::Ok, owner);
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
