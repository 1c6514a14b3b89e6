#pragma once

#include "store/RecordSearch.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QStyledItemDelegate>
#include <deque>
#include <vector>

namespace ostrel {

// The lines a search found, as the search window lists them: group, record,
// line number and the line, or the reason a record could not be read.
class SearchResults : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { GroupColumn, RecordColumn, LineColumn, TextColumn, ColumnCount };

    struct Row {
        qint32 record = 0; // into records()
        LineMatch match;   // line -1: the record could not be read
    };
    struct Record {
        QString group;
        QString name;
        fs::ReadFailure failure = fs::ReadFailure::None;
        qint64 order = 0; // its place among the records searched
    };

    explicit SearchResults(QObject* parent = nullptr);

    void clear();
    // Adds the lines of found records where they go in the groups' and
    // records' order, at most `maxRows` of them, taking them out of `found`
    // (a record whose lines are all taken is removed). Answers how many rows
    // were added.
    qsizetype append(std::vector<store::FoundRecord>& found, qsizetype maxRows);

    const Row& row(int index) const { return m_rows[size_t(index)]; }
    const Record& recordOf(const Row& row) const { return m_records[size_t(row.record)]; }
    qsizetype lineCount() const { return m_lines; }
    qsizetype failedCount() const { return m_failed; }
    qsizetype recordCount() const { return m_foundRecords; } // with lines found

    // The text a row shows in the text column: the line with its cuts
    // marked, and where its matches lie in it.
    static QString shownLine(const LineMatch& match);
    static std::vector<std::pair<qint32, qint32>> shownMarks(const LineMatch& match);
    // Why a record could not be read, as the list says it.
    static QString failureText(fs::ReadFailure failure);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    void dropSome();

    std::vector<Row> m_rows;
    std::deque<std::vector<Row>> m_going; // lists cleared, freed a part at a time
    std::vector<Record> m_records;
    QHash<qint64, qint32> m_recordOf; // by order
    qsizetype m_lines = 0;
    qsizetype m_failed = 0;
    qsizetype m_foundRecords = 0;
};

// Draws the text column with the matches marked.
class SearchResultDelegate : public QStyledItemDelegate {
public:
    SearchResultDelegate(const SearchResults* results, QObject* parent);
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    const SearchResults* m_results;
};

} // namespace ostrel
