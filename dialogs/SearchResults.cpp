#include "SearchResults.h"

#include "DialogTexts.h"
#include "store/RecordStore.h"

#include <QApplication>
#include <QPainter>
#include <QTextLayout>
#include <QTimer>
#include <iterator>

namespace ostrel {

namespace {

const QChar kCut(0x2026); // …

} // namespace

SearchResults::SearchResults(QObject* parent) : QAbstractTableModel(parent) {}

void SearchResults::clear() {
    beginResetModel();
    // A long list goes a part at a time, at the next turns of the event
    // loop: at once, a hundred thousand lines would hold up the key that
    // started the next search.
    if (!m_rows.empty()) {
        m_going.push_back(std::move(m_rows));
        m_rows = {};
        if (m_going.size() == 1)
            QTimer::singleShot(0, this, &SearchResults::dropSome);
    }
    m_records.clear();
    m_recordOf.clear();
    m_lines = 0;
    m_failed = 0;
    m_foundRecords = 0;
    endResetModel();
}

void SearchResults::dropSome() {
    constexpr size_t kRowsAtOnce = 5000;
    std::vector<Row>& rows = m_going.front();
    rows.resize(rows.size() > kRowsAtOnce ? rows.size() - kRowsAtOnce : 0);
    if (rows.empty())
        m_going.pop_front();
    if (!m_going.empty())
        QTimer::singleShot(0, this, &SearchResults::dropSome);
}

qsizetype SearchResults::append(std::vector<store::FoundRecord>& found, qsizetype maxRows) {
    qsizetype added = 0;
    size_t used = 0;
    for (; used < found.size() && added < maxRows; ++used) {
        store::FoundRecord& f = found[used];
        auto known = m_recordOf.constFind(f.order);
        if (known == m_recordOf.cend()) {
            m_records.push_back({f.group, f.name, f.failure, f.order});
            known = m_recordOf.insert(f.order, qint32(m_records.size() - 1));
            if (f.failure != fs::ReadFailure::None)
                ++m_failed;
            else
                ++m_foundRecords;
        }
        const qint32 record = *known;
        // After the rows of every record before it in the lists (its own too:
        // the rest of a record's lines come after those listed already).
        const auto at = std::upper_bound(m_rows.begin(), m_rows.end(), f.order,
                                         [this](qint64 order, const Row& row) {
                                             return order < m_records[size_t(row.record)].order;
                                         });
        const auto first = int(at - m_rows.begin());
        if (f.failure != fs::ReadFailure::None) {
            beginInsertRows(QModelIndex(), first, first);
            LineMatch none;
            none.line = -1;
            m_rows.insert(at, Row{record, std::move(none)});
            endInsertRows();
            ++added;
            continue;
        }
        const auto take = qsizetype(std::min<size_t>(f.lines.size(), size_t(maxRows - added)));
        if (take == 0)
            continue;
        beginInsertRows(QModelIndex(), first, first + int(take) - 1);
        std::vector<Row> rows;
        rows.reserve(size_t(take));
        for (qsizetype k = 0; k < take; ++k)
            rows.push_back({record, std::move(f.lines[size_t(k)])});
        m_rows.insert(at, std::make_move_iterator(rows.begin()),
                      std::make_move_iterator(rows.end()));
        endInsertRows();
        added += take;
        m_lines += take;
        if (take < qsizetype(f.lines.size())) {
            // The rest of the record's lines come with the next call.
            f.lines.erase(f.lines.begin(), f.lines.begin() + take);
            break;
        }
    }
    found.erase(found.begin(), found.begin() + qsizetype(used));
    return added;
}

QString SearchResults::shownLine(const LineMatch& match) {
    QString text = match.excerpt;
    // Tabs and other control characters would draw as nothing or as boxes.
    for (QChar& c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = u' ';
    if (match.cutBefore)
        text.prepend(kCut);
    if (match.cutAfter)
        text.append(kCut);
    return text;
}

std::vector<std::pair<qint32, qint32>> SearchResults::shownMarks(const LineMatch& match) {
    std::vector<std::pair<qint32, qint32>> marks = match.marks;
    if (match.cutBefore)
        for (auto& m : marks)
            ++m.first;
    return marks;
}

QString SearchResults::failureText(fs::ReadFailure failure) {
    switch (failure) {
    case fs::ReadFailure::NotFound:
        return texts::dialogs::unreadableNotFound();
    case fs::ReadFailure::AccessDenied:
        return texts::dialogs::unreadableAccessDenied();
    case fs::ReadFailure::NotRegularFile:
        return texts::dialogs::unreadableNotRegularFile();
    case fs::ReadFailure::TooLarge:
        return texts::dialogs::unreadableTooLarge().arg(store::recordSizeLimit() >> 20);
    case fs::ReadFailure::None:
    case fs::ReadFailure::Cancelled:
    case fs::ReadFailure::Other:
        break;
    }
    return texts::dialogs::unreadableError();
}

int SearchResults::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int SearchResults::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SearchResults::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(m_rows.size()))
        return {};
    const Row& r = m_rows[size_t(index.row())];
    const Record& record = m_records[size_t(r.record)];
    const bool failed = r.match.line < 0;
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case GroupColumn:
            return record.group;
        case RecordColumn:
            return record.name;
        case LineColumn:
            return failed ? QString() : QString::number(r.match.line + 1);
        case TextColumn:
            return failed ? failureText(record.failure) : shownLine(r.match);
        default:
            return {};
        }
    }
    if (role == Qt::AccessibleDescriptionRole)
        return failed ? texts::dialogs::unreadableRowDescription()
                      : texts::dialogs::foundRowDescription();
    if (role == Qt::TextAlignmentRole && index.column() == LineColumn)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::ForegroundRole && failed && index.column() == TextColumn)
        return QColor(0xB0, 0x00, 0x00);
    return {};
}

QVariant SearchResults::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::AccessibleDescriptionRole) {
        using texts::dialogs::columnDescriptions;
        static_assert(std::size(columnDescriptions) == ColumnCount);
        return section >= 0 && section < ColumnCount
                   ? QString::fromUtf8(columnDescriptions[section])
                   : QVariant();
    }
    if (role != Qt::DisplayRole)
        return {};
    switch (section) {
    case GroupColumn:
        return texts::dialogs::groupColumn();
    case RecordColumn:
        return texts::dialogs::recordColumn();
    case LineColumn:
        return texts::dialogs::lineColumn();
    case TextColumn:
        return texts::dialogs::textColumn();
    default:
        return {};
    }
}

// --- drawing ---------------------------------------------------------------------------

SearchResultDelegate::SearchResultDelegate(const SearchResults* results, QObject* parent)
    : QStyledItemDelegate(parent), m_results(results) {}

void SearchResultDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    const SearchResults::Row* row =
        index.column() == SearchResults::TextColumn && index.row() < m_results->rowCount()
            ? &m_results->row(index.row())
            : nullptr;
    if (!row || row->match.line < 0) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text = opt.text;
    opt.text.clear();
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
    const QRect r =
        style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget).adjusted(3, 0, -3, 0);

    QTextLayout layout(text, opt.font);
    QTextOption textOption;
    textOption.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(textOption);
    QList<QTextLayout::FormatRange> formats;
    QTextCharFormat marked;
    marked.setBackground(QColor(0xFF, 0xE0, 0x40));
    marked.setForeground(QColor(Qt::black));
    const auto marks = SearchResults::shownMarks(row->match);
    for (const auto& [start, length] : marks)
        formats.append({start, length, marked});
    layout.setFormats(formats);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(1e6);
    layout.endLayout();

    // The first match stays in sight: a line that would show it beyond the
    // column's right edge is drawn from further on.
    qreal shift = 0;
    if (!marks.empty()) {
        const qreal end = line.cursorToX(marks.front().first + marks.front().second);
        if (end > r.width())
            shift = line.cursorToX(marks.front().first) - r.width() / 3.0;
    }
    painter->save();
    painter->setClipRect(r);
    painter->setPen(opt.palette.color(opt.state & QStyle::State_Selected ? QPalette::HighlightedText
                                                                         : QPalette::Text));
    const qreal top = r.top() + (r.height() - line.height()) / 2;
    layout.draw(painter, QPointF(r.left() - shift, top));
    if (shift > 0) {
        // What is left of the column's edge is marked cut, as a cut line is.
        const QString cut(kCut);
        const int width = opt.fontMetrics.horizontalAdvance(cut) + 2;
        const QRect mark(r.left(), r.top(), width, r.height());
        painter->fillRect(mark,
                          opt.palette.brush(opt.state & QStyle::State_Selected ? QPalette::Highlight
                                                                               : QPalette::Base));
        painter->drawText(mark, Qt::AlignLeft | Qt::AlignVCenter, cut);
    }
    painter->restore();
}

} // namespace ostrel
