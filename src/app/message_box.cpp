#include "message_box.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScreen>
#include <QShowEvent>

#include <algorithm>
#include <cmath>

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

// The width of the widest line of `text` that holds a path or a file's name;
// 0 when none does.
int WidestPathLine(const QString& text, const QFontMetricsF& metrics) {
    // A path from the root ("/", "C:\\", "\\\\server") or a file's name with its extension.
    static const QRegularExpression path(
        QStringLiteral(R"((?:^|\s)(?:/|[A-Za-z]:\\|\\\\|\S+\.[A-Za-z]\w{0,4}(?:\s|$)))"));
    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        // Rounded up, and a pixel more: the line is laid out in fractions.
        if (line.contains(path)) widest = std::max(widest, int(std::ceil(metrics.horizontalAdvance(line))) + 1);
    }
    return widest;
}

// Qt's line breaking would cut a path at a hyphen of a file's name or a space
// of a folder's: a line that holds one gets room of its own, as far as Qt
// lets a box grow before it cuts words anywhere.
void KeepPathsWhole(QMessageBox& box, QGridLayout& grid, const QString& text) {
    auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    const int wanted = WidestPathLine(text, QFontMetricsF(box.font()));
    if (label == nullptr || wanted == 0) return;
    const int screen = box.screen()->availableGeometry().width();
    const int limit = screen <= 1024 ? screen : std::min(screen - 480, 1000);  // Qt's own, for a box
    int row = 0, column = 0, rows = 0, columns = 0;
    grid.getItemPosition(grid.indexOf(label), &row, &column, &rows, &columns);
    auto* room = new QSpacerItem(wanted + 2 * label->margin() + std::max(0, label->indent()), 0, QSizePolicy::Minimum,
                                 QSizePolicy::Fixed);
    grid.addItem(room, grid.rowCount(), column, 1, columns);
    if (grid.totalMinimumSize().width() > limit) {
        grid.removeItem(room);
        delete room;
    }
}

void ShowQtMessageBox(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon) {
    CentredMessageBox box(icon == MessageIcon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon,
                          caption, text, QMessageBox::Ok, owner);
    // The box is as wide as its text; a short text must not cut the caption.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        const int captionWidth = box.fontMetrics().horizontalAdvance(caption) + kTitleBarExtras;
        grid->addItem(new QSpacerItem(captionWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(),
                      0, 1, grid->columnCount());
        KeepPathsWhole(box, *grid, text);
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
