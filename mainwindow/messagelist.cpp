#include "mainwindow/messagelist.h"

#include <algorithm>

#include <QHeaderView>

namespace {

// Long enough that a listing's rows cost the view a few layouts a second,
// short enough that they still seem to arrive one by one.
const int kPublishIntervalMs = 100;

QVariant cellData(const MessageRow &row, int column, int role)
{
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return row.text(column);
    if (role == Qt::CheckStateRole && column == 0)
        return row.checked ? Qt::Checked : Qt::Unchecked;
    return QVariant();
}

Qt::ItemFlags cellFlags(int column)
{
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (column == 0)
        result |= Qt::ItemIsUserCheckable;
    return result;
}

} // namespace

void MessageRow::setText(int column, const QString &text)
{
    texts[size_t(column)] = compactUtf8(text);
}

void MessageRow::setTexts(const QStringList &columns)
{
    for (int column = 0; column < int(texts.size()) && column < columns.size(); ++column)
        setText(column, columns[column]);
}

int MessageListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_order.size());
}

int MessageListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_headers.size());
}

QVariant MessageListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= 6)
        return QVariant();
    return cellData(row(index.row()), index.column(), role);
}

bool MessageListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || role != Qt::CheckStateRole || index.column() != 0 || index.row() >= rowCount())
        return false;
    setChecked(index.row(), value.toInt() == Qt::Checked);
    emit userToggled(index.row());
    return true;
}

Qt::ItemFlags MessageListModel::flags(const QModelIndex &index) const
{
    return cellFlags(index.column());
}

QVariant MessageListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section < m_headers.size())
        return m_headers[section];
    return QVariant();
}

void MessageListModel::addColumn(const QString &header)
{
    beginInsertColumns(QModelIndex(), int(m_headers.size()), int(m_headers.size()));
    m_headers.append(header);
    endInsertColumns();
}

int MessageListModel::addRow(MessageRow row)
{
    const int position = m_sortingOn ? sortedInsertPosition(row.texts[size_t(m_sortColumn)]) : rowCount();
    beginInsertRows(QModelIndex(), position, position);
    if (row.checked)
        ++m_checked;
    m_stored.push_back(std::move(row));
    m_order.insert(m_order.begin() + position, int(m_stored.size()) - 1);
    endInsertRows();
    return position;
}

void MessageListModel::clearRows()
{
    beginResetModel();
    m_stored.clear();
    m_stored.shrink_to_fit();
    m_order.clear();
    m_order.shrink_to_fit();
    m_checked = 0;
    endResetModel();
}

void MessageListModel::setText(int position, int column, const QByteArray &utf8)
{
    storedAt(position).texts[size_t(column)] = utf8;
    const QModelIndex changed = index(position, column);
    emit dataChanged(changed, changed, {Qt::DisplayRole});
    if (m_sortingOn && column == m_sortColumn)
        repositionRow(position);
}

void MessageListModel::setChecked(int position, bool checked)
{
    MessageRow &row = storedAt(position);
    if (row.checked == checked)
        return;
    row.checked = checked;
    m_checked += checked ? 1 : -1;
    const QModelIndex changed = index(position, 0);
    emit dataChanged(changed, changed, {Qt::CheckStateRole});
}

void MessageListModel::setAllChecked(bool checked)
{
    for (MessageRow &row : m_stored)
        row.checked = checked;
    m_checked = checked ? rowCount() : 0;
    if (!m_order.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
}

void MessageListModel::setSorting(bool on, int column, Qt::SortOrder order)
{
    m_sortingOn = on;
    m_sortColumn = column;
    m_sortOrder = order;
    if (on)
        sortRows();
}

int MessageListModel::positionOf(int storedIndex) const
{
    const auto at = std::find(m_order.begin(), m_order.end(), storedIndex);
    return at == m_order.end() ? -1 : int(at - m_order.begin());
}

// Byte order of UTF-8 is character order; the sort key is digits anyway.
bool MessageListModel::sortsBefore(const QByteArray &a, const QByteArray &b) const
{
    return m_sortOrder == Qt::AscendingOrder ? a < b : b < a;
}

const QByteArray &MessageListModel::sortKey(int storedIndex) const
{
    return m_stored[size_t(storedIndex)].texts[size_t(m_sortColumn)];
}

int MessageListModel::sortedInsertPosition(const QByteArray &key) const
{
    const auto at = std::upper_bound(m_order.begin(), m_order.end(), key,
                                     [&](const QByteArray &k, int r) { return sortsBefore(k, sortKey(r)); });
    return int(at - m_order.begin());
}

void MessageListModel::repositionRow(int position)
{
    const int moving = m_order[size_t(position)];
    m_order.erase(m_order.begin() + position);
    const int target = sortedInsertPosition(sortKey(moving));
    m_order.insert(m_order.begin() + position, moving);
    if (target == position)
        return;
    // A move's destination counts positions before the row is taken out.
    beginMoveRows(QModelIndex(), position, position, QModelIndex(), target > position ? target + 1 : target);
    const auto first = m_order.begin();
    if (target < position)
        std::rotate(first + target, first + position, first + position + 1);
    else
        std::rotate(first + position, first + position + 1, first + target + 1);
    endMoveRows();
}

void MessageListModel::sortRows()
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> storedBefore;
    for (const QModelIndex &index : before)
        storedBefore.push_back(m_order[size_t(index.row())]);
    std::stable_sort(m_order.begin(), m_order.end(),
                     [&](int a, int b) { return sortsBefore(sortKey(a), sortKey(b)); });
    if (!before.isEmpty()) {
        std::vector<int> positionOfStored(m_order.size());
        for (size_t position = 0; position < m_order.size(); ++position)
            positionOfStored[size_t(m_order[position])] = int(position);
        QModelIndexList after;
        for (int i = 0; i < before.size(); ++i)
            after << index(positionOfStored[size_t(storedBefore[size_t(i)])], before[i].column());
        changePersistentIndexList(before, after);
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

DisplayedRows::DisplayedRows(MessageListModel *rows, QObject *parent)
    : QAbstractTableModel(parent)
    , m_rows(rows)
{
    m_publishTimer.setSingleShot(true);
    m_publishTimer.setInterval(kPublishIntervalMs);
    connect(&m_publishTimer, &QTimer::timeout, this, &DisplayedRows::publish);
    connect(rows, &QAbstractItemModel::rowsInserted, this, &DisplayedRows::orderChanged);
    connect(rows, &QAbstractItemModel::rowsMoved, this, &DisplayedRows::orderChanged);
    connect(rows, &QAbstractItemModel::layoutChanged, this, [this] {
        orderChanged();
        publish();
    });
    connect(rows, &QAbstractItemModel::dataChanged, this, &DisplayedRows::rowsChanged);
    connect(rows, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        beginResetModel();
        m_shown.clear();
        m_shownAt.clear();
        m_pending = false;
        m_publishTimer.stop();
    });
    connect(rows, &QAbstractItemModel::modelReset, this, [this] { endResetModel(); });
    connect(rows, &QAbstractItemModel::columnsAboutToBeInserted, this,
            [this](const QModelIndex &, int first, int last) { beginInsertColumns(QModelIndex(), first, last); });
    connect(rows, &QAbstractItemModel::columnsInserted, this, [this] { endInsertColumns(); });
}

int DisplayedRows::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_shown.size());
}

int DisplayedRows::columnCount(const QModelIndex &parent) const
{
    return m_rows->columnCount(parent);
}

QVariant DisplayedRows::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= 6)
        return QVariant();
    return cellData(m_rows->stored(m_shown[size_t(index.row())]), index.column(), role);
}

bool DisplayedRows::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || index.row() >= rowCount())
        return false;
    const int position = m_rows->positionOf(m_shown[size_t(index.row())]);
    return position >= 0 && m_rows->setData(m_rows->index(position, index.column()), value, role);
}

Qt::ItemFlags DisplayedRows::flags(const QModelIndex &index) const
{
    return cellFlags(index.column());
}

QVariant DisplayedRows::headerData(int section, Qt::Orientation orientation, int role) const
{
    return m_rows->headerData(section, orientation, role);
}

void DisplayedRows::orderChanged()
{
    m_pending = true;
    if (!m_publishTimer.isActive())
        m_publishTimer.start();
}

void DisplayedRows::publish()
{
    m_publishTimer.stop();
    if (!m_pending)
        return;
    m_pending = false;
    const std::vector<int> &order = m_rows->order();
    // Rows are stored in the order they were added, so the new ones are the
    // stored indices not handed on yet. They go at the end first, then take
    // their places with the moves in one layout change.
    if (order.size() > m_shown.size()) {
        beginInsertRows(QModelIndex(), int(m_shown.size()), int(order.size()) - 1);
        for (size_t storedIndex = m_shownAt.size(); storedIndex < order.size(); ++storedIndex) {
            m_shownAt.push_back(int(m_shown.size()));
            m_shown.push_back(int(storedIndex));
        }
        endInsertRows();
    }
    if (m_shown == order)
        return;
    emit layoutAboutToBeChanged();
    std::vector<int> shownAt(order.size());
    for (size_t position = 0; position < order.size(); ++position)
        shownAt[size_t(order[position])] = int(position);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    for (const QModelIndex &index : before)
        after << this->index(shownAt[size_t(m_shown[size_t(index.row())])], index.column());
    m_shown = order;
    m_shownAt = std::move(shownAt);
    changePersistentIndexList(before, after);
    emit layoutChanged();
}

void DisplayedRows::rowsChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles)
{
    if (m_shown.empty())
        return;
    if (topLeft.row() != bottomRight.row()) {
        emit dataChanged(index(0, topLeft.column()), index(int(m_shown.size()) - 1, bottomRight.column()), roles);
        return;
    }
    // A row not handed on yet shows its texts when it is.
    const size_t storedIndex = size_t(m_rows->order()[size_t(topLeft.row())]);
    if (storedIndex >= m_shownAt.size())
        return;
    const int position = m_shownAt[storedIndex];
    emit dataChanged(index(position, topLeft.column()), index(position, bottomRight.column()), roles);
}

MessageList::MessageList(QWidget *parent)
    : QTreeView(parent)
    , m_model(new MessageListModel(this))
    , m_displayed(new DisplayedRows(m_model, this))
{
    setModel(m_displayed);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSortingEnabled(false);
    header()->setStretchLastSection(false);
    header()->setSectionsClickable(false);
    connect(m_model, &MessageListModel::userToggled, this, &MessageList::ItemCheck);
}

void MessageList::addColumn(const QString &header)
{
    m_model->addColumn(header);
}

void MessageList::setColumnWidthTwips(int column, int twips)
{
    if (twips == 0)
        setColumnHidden(column, true);
    else {
        setColumnHidden(column, false);
        setColumnWidth(column, twips / 15);
    }
}

void MessageList::showEvent(QShowEvent *event)
{
    m_displayed->publish();
    QTreeView::showEvent(event);
}

int MessageList::addRow(const QString &itemText)
{
    MessageRow row;
    row.setText(0, itemText);
    return m_model->addRow(std::move(row));
}
