#include "dialog_controls.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

#include "resource_ids.h"

namespace bramis {

QPushButton* AddPushButton(QWidget* parent, const QString& text, const char* name, int id,
                           const DialogBaseUnits& units, const DluRect& rect, int topOffset) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setProperty(kControlIdProperty, id);
    PlaceInDialogUnits(button, units, rect, topOffset);
    return button;
}

QLabel* AddStaticText(QWidget* parent, const QString& text, const char* name, const DialogBaseUnits& units,
                      const DluRect& rect, int topOffset) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setProperty(kControlIdProperty, IDC_STATIC);
    label->setTextFormat(Qt::PlainText);  // no rich text or mnemonic processing
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    PlaceInDialogUnits(label, units, rect, topOffset);
    return label;
}

void PlaceComboBox(QComboBox* combo, const DialogBaseUnits& units, const DluRect& rect, int topOffset) {
    QRect field = MapDialogRect(units, rect).translated(0, topOffset);
    field.setHeight(std::max(field.height(), combo->minimumSizeHint().height()));
    combo->setGeometry(field);
}

}  // namespace bramis
