#include "journal_dlg.h"

#include <QDir>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShowEvent>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

#include "app_texts.h"
#include "help_page.h"
#include "image/profile_store.h"
#include "journal/journal.h"
#include "message_box.h"
#include "window_placement.h"

namespace bramis {
namespace {

// What a column sorts by.
constexpr int kSortRole = Qt::UserRole;
// No column is wider than this many average characters: longer paths and
// checksums are cut in the middle, whole in their tooltips.
constexpr int kWidestColumnChars = 40;
// The rows the window has room for when it opens, if the screen allows.
constexpr int kOpeningRows = 15;

// What the table shows of one journal record: each field's text and what it
// sorts by. The start is shown in local time, whatever zone the record was
// written in; a start that cannot be read is shown as written and sorts by
// nothing, which the filter puts last.
QList<QStandardItem*> TableRow(const JournalRecord& record) {
    const QStringList fields = JournalFields(record);
    QList<QStandardItem*> items;
    for (int column = 0; column < kColumnCount; ++column) {
        const QString text = column == kColumnStarted ? record.startedText : fields[column];
        auto* item = new QStandardItem(text);
        item->setToolTip(text);
        if (column == kColumnStarted) {
            if (record.started.isValid()) {
                item->setText(record.started.toLocalTime().toString(texts::JournalTimeFormat()));
                item->setData(record.started.toMSecsSinceEpoch(), kSortRole);
            }
        } else if (column == kColumnDuration || column == kColumnBlock || column == kColumnRetries) {
            item->setData(text.toInt(), kSortRole);  // numbers sort as numbers, not as text
        } else {
            item->setData(text, kSortRole);
        }
        items << item;
    }
    return items;
}

// Sorts by kSortRole, rows with nothing to sort by last in either order.
class JournalFilter : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override {
        const bool leftKnown = left.data(kSortRole).isValid();
        if (leftKnown != right.data(kSortRole).isValid()) return leftKnown == (sortOrder() == Qt::AscendingOrder);
        if (!leftKnown) return false;
        return QSortFilterProxyModel::lessThan(left, right);
    }
};

}  // namespace

CJournalDlg::CJournalDlg(const QString& path, ProfileStore& store, QWidget* parent)
    : QDialog(parent), m_store(store), m_path(path) {
    setObjectName(QStringLiteral("journal_window"));
    setWindowTitle(texts::JournalCaption());
    // On a screen smaller than even the least the window needs, all of it is
    // still reached, through scroll bars.
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroller = new QScrollArea(this);
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setWidgetResizable(true);
    outer->addWidget(scroller);
    auto* content = new QWidget(scroller);
    scroller->setWidget(content);
    auto* layout = new QVBoxLayout(content);

    auto* filterBox = new QLineEdit(content);
    filterBox->setObjectName(QStringLiteral("journal_filter"));
    filterBox->setPlaceholderText(texts::JournalFilterHint());
    filterBox->setClearButtonEnabled(true);
    layout->addWidget(filterBox);

    QString warning;
    auto* model = new QStandardItemModel(0, kColumnCount, this);
    model->setHorizontalHeaderLabels(JournalHeader());
    for (const JournalRecord& record : ReadJournal(path, warning)) model->appendRow(TableRow(record));
    m_filter = new JournalFilter(this);
    m_filter->setSourceModel(model);
    m_filter->setSortRole(kSortRole);
    m_filter->setFilterKeyColumn(-1);  // any column
    m_filter->setFilterCaseSensitivity(Qt::CaseInsensitive);
    connect(filterBox, &QLineEdit::textChanged, m_filter, &QSortFilterProxyModel::setFilterFixedString);

    auto* table = new QTableView(content);
    table->setObjectName(QStringLiteral("journal_table"));
    table->setModel(m_filter);
    table->setSortingEnabled(true);
    table->sortByColumn(kColumnStarted, Qt::DescendingOrder);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setTextElideMode(Qt::ElideMiddle);
    table->setWordWrap(false);
    table->verticalHeader()->hide();
    table->resizeColumnsToContents();
    const int widest = table->fontMetrics().averageCharWidth() * kWidestColumnChars;
    for (int column = 0; column < kColumnCount; ++column)
        table->setColumnWidth(column, std::min(table->columnWidth(column), widest));
    layout->addWidget(table, 1);

    auto* place = new QLabel(warning.isEmpty() ? QDir::toNativeSeparators(path) : warning, content);
    place->setObjectName(QStringLiteral("journal_place"));
    place->setTextInteractionFlags(Qt::TextSelectableByMouse);
    place->setWordWrap(true);
    layout->addWidget(place);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, content);
    QPushButton* openFolder = buttons->addButton(texts::JournalOpenFolder(), QDialogButtonBox::ActionRole);
    openFolder->setObjectName(QStringLiteral("journal_open_folder"));
    connect(openFolder, &QPushButton::clicked, this, &CJournalDlg::OpenFolder);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    // What the columns and a few rows want, besides the rest of the window.
    const int frame = 2 * table->frameWidth();
    const QSize tableWants(table->horizontalHeader()->length() + table->verticalScrollBar()->sizeHint().width() + frame,
                           table->horizontalHeader()->sizeHint().height() +
                               kOpeningRows * table->verticalHeader()->defaultSectionSize() +
                               table->horizontalScrollBar()->sizeHint().height() + frame);
    const QSize rest = layout->sizeHint() - table->sizeHint();
    resize(OpeningSize(QSize(tableWants.width() + layout->contentsMargins().left() + layout->contentsMargins().right(),
                             tableWants.height() + rest.height())));
}

QSize CJournalDlg::OpeningSize(const QSize& wanted) const {
    const QSize remembered(m_store.GetInt(kSectionJournal, kValueWindowWidth, 0),
                           m_store.GetInt(kSectionJournal, kValueWindowHeight, 0));
    // Framed like the window it belongs to, before it has a frame of its own.
    return FitToScreen(remembered.isValid() && !remembered.isEmpty() ? remembered : wanted, *this, parentWidget());
}

void CJournalDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) CentreOn(*this, ShownWindowOf(parentWidget()));
}

void CJournalDlg::done(int result) {
    m_store.WriteInt(kSectionJournal, kValueWindowWidth, width());
    m_store.WriteInt(kSectionJournal, kValueWindowHeight, height());
    QDialog::done(result);
}

void CJournalDlg::OpenFolder() {
    const QString folder = QFileInfo(m_path).absolutePath();
    // A desktop without a file manager opens nothing; the user is told where
    // the folder is instead.
    if (!QFileInfo(folder).isDir() || !OpenUrl(QUrl::fromLocalFile(folder)))
        ShowMessage(this, texts::JournalFolderNotOpened(QDir::toNativeSeparators(folder)), MessageIcon::Exclamation);
}

int CJournalDlg::VisibleRows() const { return m_filter->rowCount(); }

}  // namespace bramis
