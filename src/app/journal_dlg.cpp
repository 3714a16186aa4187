#include "journal_dlg.h"

#include <QDesktopServices>
#include <QDir>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QUrl>
#include <QVBoxLayout>

#include "app_texts.h"
#include "journal/journal.h"

namespace bramis {

CJournalDlg::CJournalDlg(const QString& path, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("journal_window"));
    setWindowTitle(texts::JournalCaption());
    auto* layout = new QVBoxLayout(this);

    auto* filterBox = new QLineEdit(this);
    filterBox->setObjectName(QStringLiteral("journal_filter"));
    filterBox->setPlaceholderText(texts::JournalFilterHint());
    filterBox->setClearButtonEnabled(true);
    layout->addWidget(filterBox);

    QString warning;
    std::vector<QStringList> rows;
    for (const JournalRecord& record : ReadJournal(path, warning)) rows.push_back(JournalFields(record));
    auto* model = new QStandardItemModel(static_cast<int>(rows.size()), kColumnCount, this);
    model->setHorizontalHeaderLabels(JournalHeader());
    for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
        for (int column = 0; column < kColumnCount; ++column) {
            auto* item = new QStandardItem(rows[static_cast<std::size_t>(row)][column]);
            // Numbers sort as numbers, not as text.
            if (column == kColumnDuration || column == kColumnBlock || column == kColumnRetries)
                item->setData(item->text().toInt(), Qt::UserRole);
            else
                item->setData(item->text(), Qt::UserRole);
            model->setItem(row, column, item);
        }
    }
    m_filter = new QSortFilterProxyModel(this);
    m_filter->setSourceModel(model);
    m_filter->setSortRole(Qt::UserRole);
    m_filter->setFilterKeyColumn(-1);  // any column
    m_filter->setFilterCaseSensitivity(Qt::CaseInsensitive);
    connect(filterBox, &QLineEdit::textChanged, m_filter, &QSortFilterProxyModel::setFilterFixedString);

    auto* table = new QTableView(this);
    table->setObjectName(QStringLiteral("journal_table"));
    table->setModel(m_filter);
    table->setSortingEnabled(true);
    table->sortByColumn(kColumnStarted, Qt::DescendingOrder);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(table, 1);

    auto* place = new QLabel(warning.isEmpty() ? QDir::toNativeSeparators(path) : warning, this);
    place->setObjectName(QStringLiteral("journal_place"));
    place->setTextInteractionFlags(Qt::TextSelectableByMouse);
    place->setWordWrap(true);
    layout->addWidget(place);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* openFolder = buttons->addButton(texts::JournalOpenFolder(), QDialogButtonBox::ActionRole);
    openFolder->setObjectName(QStringLiteral("journal_open_folder"));
    connect(openFolder, &QPushButton::clicked, this, [path] {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(900, 420);
}

int CJournalDlg::VisibleRows() const { return m_filter->rowCount(); }

}  // namespace bramis
