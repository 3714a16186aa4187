#include "about_dlg.h"

#include <QLabel>
#include <QPushButton>

#include "app_icon.h"
#include "app_texts.h"
#include "dialog_units.h"
#include "resource_ids.h"

namespace bramis {
namespace {

QLabel* AddStaticText(QWidget* parent, const QString& text, const DialogBaseUnits& units, const DluRect& rect) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);  // shown as it is, no mnemonic processing
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    label->setProperty(kControlIdProperty, IDC_STATIC);
    PlaceInDialogUnits(label, units, rect);
    return label;
}

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("IDD_ABOUT"));
    setWindowTitle(texts::AboutCaption());
    const QIcon icon = AppIcon();
    setWindowIcon(icon);
    const DialogBaseUnits units = BaseUnitsOf(font());

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("IDI_MAIN"));
    picture->setPixmap(icon.pixmap(32, 32));
    // The icon keeps its own size in pixels; only its corner is in dialog units.
    picture->setGeometry(QRect(MapDialogRect(units, {11, 17, 0, 0}).topLeft(), QSize(32, 32)));

    AddStaticText(this, texts::AboutDescription(), units, {42, 7, 119, 22})
        ->setObjectName(QStringLiteral("description"));
    AddStaticText(this, texts::AboutVersion(), units, {42, 38, 119, 8})->setObjectName(QStringLiteral("version"));

    auto* ok = new QPushButton(texts::OkButton(), this);
    ok->setObjectName(QStringLiteral("IDOK"));
    ok->setProperty(kControlIdProperty, IDOK);
    ok->setDefault(true);
    PlaceInDialogUnits(ok, units, {59, 75, 50, 14});
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    setFixedSize(MapDialogSize(units, 168, 96));
    ok->setFocus();
}

}  // namespace bramis
