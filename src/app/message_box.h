// The one way the programmer shows a message box. Tests replace the function
// that shows it, to record the messages and close them without a modal loop.
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace bramis {

enum class MessageIcon { None, Exclamation };

// Shows a modal box with an OK button and returns when it has been closed.
using MessageBoxFunction =
    std::function<void(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon)>;

// The program file's name without its extension: the caption of every
// message box that has none of its own. GUI thread.
QString ApplicationTitle();

// Shows `text` in a modal box owned by `owner`, with `caption` or, when that
// is empty, the application title. Returns when the box is closed. GUI thread.
void ShowMessage(QWidget* owner, const QString& text, MessageIcon icon = MessageIcon::None,
                 const QString& caption = {});

// Asks `text` in a modal box with Yes and No owned by `owner`; true for Yes.
// GUI thread.
using QuestionBoxFunction = std::function<bool(QWidget* owner, const QString& text, const QString& caption)>;
bool AskYesNo(QWidget* owner, const QString& text, const QString& caption = {});
// Replaces the function behind AskYesNo; an empty function restores the
// QMessageBox one. GUI thread, while no box is shown.
void SetQuestionBoxFunction(QuestionBoxFunction function);

// Replaces the function behind ShowMessage; an empty function restores the
// QMessageBox one. GUI thread, while no box is shown.
void SetMessageBoxFunction(MessageBoxFunction function);

}  // namespace bramis
