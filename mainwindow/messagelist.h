#pragma once

#include <array>
#include <vector>

#include <QAbstractTableModel>
#include <QTreeView>

// One row of a message list: six column texts ("From", "From Name",
// "From Address", "Subject", "Received Date", "RecDate"), the check mark and
// the index of the message record that belongs to the row (-1 for none).
struct MessageRow
{
    std::array<QString, 6> texts;
    bool checked = false;
    int record = -1;
};

class MessageListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void addColumn(const QString &header);
    int addRow(MessageRow row);
    void clearRows();
    const MessageRow &row(int position) const { return m_rows[size_t(position)]; }
    void setText(int position, int column, const QString &text);
    void setChecked(int position, bool checked);
    void setRecord(int position, int record) { m_rows[size_t(position)].record = record; }
    void setAllChecked(bool checked);
    int checkedCount() const { return m_checked; }

    void setSorting(bool on, int column, Qt::SortOrder order);
    bool sortingOn() const { return m_sortingOn; }

signals:
    // The user toggled row `position`'s check box.
    void userToggled(int position);

private:
    int sortedInsertPosition(const MessageRow &row) const;
    void sortRows();
    // Moves one row whose sort key changed to its sorted place.
    void repositionRow(int position);

    std::vector<MessageRow> m_rows;
    QStringList m_headers;
    int m_checked = 0;
    bool m_sortingOn = false;
    int m_sortColumn = 0;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};

// The checkable report list of the main window and the larger view. Rows are
// addressed by display position, 0 for the first.
class MessageList : public QTreeView
{
    Q_OBJECT

public:
    explicit MessageList(QWidget *parent = nullptr);

    MessageListModel *rows() const { return m_model; }

    void addColumn(const QString &header);
    // Column width in twips, the design's unit.
    void setColumnWidthTwips(int column, int twips);

    int rowCount() const { return m_model->rowCount(); }
    // Adds a row (at the end, or at its sorted place while sorting is on) and
    // returns its position. While sorting is on, setting the sort column of a
    // row moves it to its sorted place.
    int addRow(const QString &itemText);
    int addRow(MessageRow row) { return m_model->addRow(std::move(row)); }
    QString text(int position, int column) const { return m_model->row(position).texts[size_t(column)]; }
    void setText(int position, int column, const QString &text) { m_model->setText(position, column, text); }
    bool isChecked(int position) const { return m_model->row(position).checked; }
    void setChecked(int position, bool checked) { m_model->setChecked(position, checked); }
    void setAllChecked(bool checked) { m_model->setAllChecked(checked); }
    int checkedCount() const { return m_model->checkedCount(); }
    int recordOf(int position) const { return m_model->row(position).record; }
    void setRecordOf(int position, int record) { m_model->setRecord(position, record); }
    void removeAllRows() { m_model->clearRows(); }

    // Sorting on the sixth column ("RecDate") as text, newest first, on at once.
    void sortByDateDescending() { m_model->setSorting(true, 5, Qt::DescendingOrder); }
    void setSortingOff() { m_model->setSorting(false, 0, Qt::AscendingOrder); }
    bool sortingOn() const { return m_model->sortingOn(); }

signals:
    // The user toggled a row's check box (never for changes made by code).
    void ItemCheck(int position);

private:
    MessageListModel *m_model;
};
