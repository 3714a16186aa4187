#include "message_box.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGridLayout>
#include <QMessageBox>

namespace bramis {
namespace {

// Room in a title bar besides the caption: the window's icon and its buttons.
constexpr int kTitleBarExtras = 160;

void ShowQtMessageBox(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon) {
    QMessageBox box(icon == MessageIcon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon,
                    caption, text, QMessageBox::Ok, owner);
    // The box is as wide as its text; a short text must not cut the caption.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        const int captionWidth = box.fontMetrics().horizontalAdvance(caption) + kTitleBarExtras;
        grid->addItem(new QSpacerItem(captionWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(),
                      0, 1, grid->columnCount());
    }
    box.exec();
}

bool AskQtQuestion(QWidget* owner, const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QuestionBoxFunction& CurrentQuestion() {
    static QuestionBoxFunction function = AskQtQuestion;
    return function;
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

bool AskYesNo(QWidget* owner, const QString& text, const QString& caption) {
    const QuestionBoxFunction function = CurrentQuestion();
    return function(owner, text, caption.isEmpty() ? ApplicationTitle() : caption);
}

void SetQuestionBoxFunction(QuestionBoxFunction function) {
    CurrentQuestion() = function ? std::move(function) : QuestionBoxFunction(AskQtQuestion);
}

void SetMessageBoxFunction(MessageBoxFunction function) {
    CurrentFunction() = function ? std::move(function) : MessageBoxFunction(ShowQtMessageBox);
}

}  // namespace bramis
