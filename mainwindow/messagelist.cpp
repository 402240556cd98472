#include "mainwindow/messagelist.h"

#include <algorithm>

#include <QHeaderView>

int MessageListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int MessageListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_headers.size());
}

QVariant MessageListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_rows.size()) || index.column() >= 6)
        return QVariant();
    const MessageRow &row = m_rows[size_t(index.row())];
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return row.texts[size_t(index.column())];
    if (role == Qt::CheckStateRole && index.column() == 0)
        return row.checked ? Qt::Checked : Qt::Unchecked;
    return QVariant();
}

bool MessageListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || role != Qt::CheckStateRole || index.column() != 0)
        return false;
    setChecked(index.row(), value.toInt() == Qt::Checked);
    emit userToggled(index.row());
    return true;
}

Qt::ItemFlags MessageListModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == 0)
        result |= Qt::ItemIsUserCheckable;
    return result;
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
    const int position = m_sortingOn ? sortedInsertPosition(row) : int(m_rows.size());
    beginInsertRows(QModelIndex(), position, position);
    if (row.checked)
        ++m_checked;
    m_rows.insert(m_rows.begin() + position, std::move(row));
    endInsertRows();
    return position;
}

void MessageListModel::clearRows()
{
    beginResetModel();
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_checked = 0;
    endResetModel();
}

void MessageListModel::setText(int position, int column, const QString &text)
{
    m_rows[size_t(position)].texts[size_t(column)] = text;
    const QModelIndex changed = index(position, column);
    emit dataChanged(changed, changed, {Qt::DisplayRole});
    if (m_sortingOn && column == m_sortColumn)
        repositionRow(position);
}

void MessageListModel::setChecked(int position, bool checked)
{
    MessageRow &row = m_rows[size_t(position)];
    if (row.checked == checked)
        return;
    row.checked = checked;
    m_checked += checked ? 1 : -1;
    const QModelIndex changed = index(position, 0);
    emit dataChanged(changed, changed, {Qt::CheckStateRole});
}

void MessageListModel::setAllChecked(bool checked)
{
    for (MessageRow &row : m_rows)
        row.checked = checked;
    m_checked = checked ? int(m_rows.size()) : 0;
    if (!m_rows.empty())
        emit dataChanged(index(0, 0), index(int(m_rows.size()) - 1, 0), {Qt::CheckStateRole});
}

void MessageListModel::setSorting(bool on, int column, Qt::SortOrder order)
{
    m_sortingOn = on;
    m_sortColumn = column;
    m_sortOrder = order;
    if (on)
        sortRows();
}

int MessageListModel::sortedInsertPosition(const MessageRow &row) const
{
    const QString &key = row.texts[size_t(m_sortColumn)];
    const auto column = size_t(m_sortColumn);
    auto at = m_sortOrder == Qt::AscendingOrder
        ? std::upper_bound(m_rows.begin(), m_rows.end(), key,
                           [column](const QString &k, const MessageRow &r) { return k < r.texts[column]; })
        : std::upper_bound(m_rows.begin(), m_rows.end(), key,
                           [column](const QString &k, const MessageRow &r) { return r.texts[column] < k; });
    return int(at - m_rows.begin());
}

void MessageListModel::repositionRow(int position)
{
    MessageRow moving = m_rows[size_t(position)];
    beginRemoveRows(QModelIndex(), position, position);
    m_rows.erase(m_rows.begin() + position);
    endRemoveRows();
    const int target = sortedInsertPosition(moving);
    beginInsertRows(QModelIndex(), target, target);
    m_rows.insert(m_rows.begin() + target, std::move(moving));
    endInsertRows();
}

void MessageListModel::sortRows()
{
    emit layoutAboutToBeChanged();
    const auto column = size_t(m_sortColumn);
    if (m_sortOrder == Qt::AscendingOrder)
        std::stable_sort(m_rows.begin(), m_rows.end(),
                         [column](const MessageRow &a, const MessageRow &b) { return a.texts[column] < b.texts[column]; });
    else
        std::stable_sort(m_rows.begin(), m_rows.end(),
                         [column](const MessageRow &a, const MessageRow &b) { return b.texts[column] < a.texts[column]; });
    emit layoutChanged();
}

MessageList::MessageList(QWidget *parent)
    : QTreeView(parent)
    , m_model(new MessageListModel(this))
{
    setModel(m_model);
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

int MessageList::addRow(const QString &itemText)
{
    MessageRow row;
    row.texts[0] = itemText;
    return m_model->addRow(std::move(row));
}
