// The journal window ("Сервис → Журнал заданий"): every job recorded, as a
// table the user sorts by any column and filters by any text, with the
// journal's place and a button that opens its folder.
#pragma once

#include <QDialog>

class QLineEdit;
class QSortFilterProxyModel;
class QTableView;

namespace bramis {

class CJournalDlg : public QDialog {
    Q_OBJECT
public:
    // Reads the journal at `path` and shows it, newest first. GUI thread.
    explicit CJournalDlg(const QString& path, QWidget* parent = nullptr);

    // The rows shown now (after the filter). GUI thread.
    int VisibleRows() const;

private:
    QSortFilterProxyModel* m_filter = nullptr;
};

}  // namespace bramis
