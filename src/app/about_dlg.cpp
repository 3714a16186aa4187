#include "about_dlg.h"

#include <QLabel>
#include <QPushButton>

#include "app_icon.h"
#include "app_texts.h"
#include "dialog_controls.h"
#include "resource_ids.h"

namespace bramis {

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

    AddStaticText(this, texts::AboutDescription(), "description", units, {42, 7, 119, 22})->setWordWrap(true);
    AddStaticText(this, texts::AboutVersion(), "version", units, {42, 38, 119, 8})->setWordWrap(true);

    QPushButton* ok = AddPushButton(this, texts::OkButton(), "IDOK", IDOK, units, {59, 75, 50, 14});
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    setFixedSize(MapDialogSize(units, 168, 96));
    ok->setFocus();
}

}  // namespace bramis
