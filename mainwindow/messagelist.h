#pragma once

#include <array>
#include <vector>

#include <QAbstractTableModel>
#include <QByteArray>
#include <QTimer>
#include <QTreeView>

#include "mainwindow/mailrecord.h"

// One row of a message list: six column texts ("From", "From Name",
// "From Address", "Subject", "Received Date", "RecDate"), the check mark and
// the index of the message record that belongs to the row (-1 for none).
// The texts are kept in UTF-8: a listing holds many of them, mostly ASCII.
struct MessageRow
{
    std::array<QByteArray, 6> texts;
    bool checked = false;
    int record = -1;

    QString text(int column) const { return QString::fromUtf8(texts[size_t(column)]); }
    void setText(int column, const QString &text);
    // The first columns' texts, as many as given.
    void setTexts(const QStringList &columns);
};

// The rows of a message list in display order. Rows are kept where they were
// added and the display order is a list of their indices, so a row that
// sorts into the middle of a long list moves four bytes a row, not a row.
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
    const MessageRow &row(int position) const { return m_stored[size_t(m_order[size_t(position)])]; }
    void setText(int position, int column, const QByteArray &utf8);
    void setChecked(int position, bool checked);
    void setRecord(int position, int record) { storedAt(position).record = record; }
    void setAllChecked(bool checked);
    int checkedCount() const { return m_checked; }

    void setSorting(bool on, int column, Qt::SortOrder order);
    bool sortingOn() const { return m_sortingOn; }

    // Where each stored row is shown: the stored index of the row at every position.
    const std::vector<int> &order() const { return m_order; }
    const MessageRow &stored(int storedIndex) const { return m_stored[size_t(storedIndex)]; }
    // The position of a stored row; a walk, for the rare user click.
    int positionOf(int storedIndex) const;

signals:
    // The user toggled row `position`'s check box.
    void userToggled(int position);

private:
    MessageRow &storedAt(int position) { return m_stored[size_t(m_order[size_t(position)])]; }
    bool sortsBefore(const QByteArray &a, const QByteArray &b) const;
    const QByteArray &sortKey(int storedIndex) const;
    int sortedInsertPosition(const QByteArray &key) const;
    void sortRows();
    // Moves one row whose sort key changed to its sorted place.
    void repositionRow(int position);

    std::vector<MessageRow> m_stored;
    std::vector<int> m_order;
    QStringList m_headers;
    int m_checked = 0;
    bool m_sortingOn = false;
    int m_sortColumn = 0;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};

// What the tree view shows of a MessageListModel. A tree view lays all its
// rows out again after every insertion, and a listing lets events run after
// every row, so added and moved rows reach the view in batches, a few times
// a second; marks, texts, sorting and clearing reach it at once.
class DisplayedRows : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit DisplayedRows(MessageListModel *rows, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Hands every pending insertion and move on to the view now.
    void publish();

private:
    void orderChanged();
    void rowsChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles);

    MessageListModel *m_rows;
    std::vector<int> m_shown;   // stored index of the row at each displayed position
    std::vector<int> m_shownAt; // displayed position of each stored row handed on
    bool m_pending = false;
    QTimer m_publishTimer;
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
    // Column width in twips, the unit the layout is given in.
    void setColumnWidthTwips(int column, int twips);

    int rowCount() const { return m_model->rowCount(); }
    // Adds a row (at the end, or at its sorted place while sorting is on) and
    // returns its position. While sorting is on, setting the sort column of a
    // row moves it to its sorted place.
    int addRow(const QString &itemText);
    int addRow(MessageRow row) { return m_model->addRow(std::move(row)); }
    const MessageRow &row(int position) const { return m_model->row(position); }
    QString text(int position, int column) const { return m_model->row(position).text(column); }
    void setText(int position, int column, const QString &text) { m_model->setText(position, column, compactUtf8(text)); }
    void setText(int position, int column, const QByteArray &utf8) { m_model->setText(position, column, utf8); }
    bool isChecked(int position) const { return m_model->row(position).checked; }
    void setChecked(int position, bool checked) { m_model->setChecked(position, checked); }
    void setAllChecked(bool checked) { m_model->setAllChecked(checked); }
    int checkedCount() const { return m_model->checkedCount(); }
    int recordOf(int position) const { return m_model->row(position).record; }
    void setRecordOf(int position, int record) { m_model->setRecord(position, record); }
    void removeAllRows() { m_model->clearRows(); }
    // Shows the rows still waiting for the next batch now.
    void showPendingRows() { m_displayed->publish(); }

    // Sorting on the sixth column ("RecDate") as text, newest first, on at once.
    void sortByDateDescending() { m_model->setSorting(true, 5, Qt::DescendingOrder); }
    void setSortingOff() { m_model->setSorting(false, 0, Qt::AscendingOrder); }
    bool sortingOn() const { return m_model->sortingOn(); }

signals:
    // The user toggled a row's check box (never for changes made by code).
    void ItemCheck(int position);

protected:
    // A list filled before it is shown (the larger view's) shows all its rows at once.
    void showEvent(QShowEvent *event) override;

private:
    MessageListModel *m_model;
    DisplayedRows *m_displayed;
};
