// The journal window ("Сервис → Журнал заданий"): every job recorded, as a
// table the user sorts by any column and filters by any text, with the
// journal's place and a button that opens its folder. It opens as large as
// its columns want within the screen, or at the size it last had.
#pragma once

#include <QDialog>

class QSortFilterProxyModel;

namespace bramis {

class ProfileStore;

class CJournalDlg : public QDialog {
    Q_OBJECT
public:
    // Reads the journal at `path` and shows it, newest first; its size is
    // kept in `store`, which must outlive the window. GUI thread.
    CJournalDlg(const QString& path, ProfileStore& store, QWidget* parent = nullptr);

    // The rows shown now (after the filter). GUI thread.
    int VisibleRows() const;

public slots:
    // Every way the window closes: its size is remembered.
    void done(int result) override;

protected:
    // Placed in the middle of the window it belongs to, within the screen.
    void showEvent(QShowEvent* event) override;

private:
    // The size the window opens at: the one remembered, else what the
    // columns want; within the screen either way.
    QSize OpeningSize(const QSize& wanted) const;
    void OpenFolder();

    ProfileStore& m_store;
    const QString m_path;
    QSortFilterProxyModel* m_filter = nullptr;
};

}  // namespace bramis
