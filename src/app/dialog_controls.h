// The controls of the programmer's windows as their layouts give them: each
// carries its name as objectName and its id in kControlIdProperty, and sits
// at a rectangle in dialog units.
#pragma once

#include <QString>

#include "dialog_units.h"

class QComboBox;
class QLabel;
class QPushButton;
class QWidget;

namespace bramis {

// A push button `text` named `name` with the command id `id`, placed at
// `rect` shifted down by `topOffset` pixels. GUI thread.
QPushButton* AddPushButton(QWidget* parent, const QString& text, const char* name, int id,
                           const DialogBaseUnits& units, const DluRect& rect, int topOffset = 0);

// A static text (IDC_STATIC) named `name`: shown as it is, top left in its
// rectangle. GUI thread.
QLabel* AddStaticText(QWidget* parent, const QString& text, const char* name, const DialogBaseUnits& units,
                      const DluRect& rect, int topOffset = 0);

// Places a combo box's field at `rect`, but never lower than the box needs to
// show its text in the current style. GUI thread.
void PlaceComboBox(QComboBox* combo, const DialogBaseUnits& units, const DluRect& rect, int topOffset = 0);

}  // namespace bramis
