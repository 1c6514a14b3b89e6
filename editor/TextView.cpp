#include "TextView.h"

#include "Document.h"
#include "Lines.h"
#include "internal/CharWidths.h"
#include "internal/RowCounter.h"
#include "internal/TextBuffer.h"
#include "internal/ViewAccessible.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDrag>
#include <QGuiApplication>
#include <QHash>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QStyleHints>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <climits>

namespace ostrel::editor {

using internal::RowCounter;
using internal::TextBuffer;
using internal::TextReader;

namespace {

// Room around the text, as Qt's plain-text editor leaves it.
constexpr int kMargin = 4;
// Tab stops, as Qt's plain-text editor sets them.
constexpr qreal kTabStop = 80;

// Text from the clipboard, a drop or an input method, with its line breaks
// as the text holds them.
QString withLineFeeds(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    text.replace(QChar::ParagraphSeparator, u'\n');
    return text;
}

// The characters that end a word for the word movements, as Qt's text
// layout has them.
bool isWordSeparator(QChar c) {
    switch (c.unicode()) {
    case '.':
    case ',':
    case '?':
    case '!':
    case '@':
    case '#':
    case '$':
    case ':':
    case ';':
    case '-':
    case '<':
    case '>':
    case '[':
    case ']':
    case '(':
    case ')':
    case '{':
    case '}':
    case '=':
    case '/':
    case '+':
    case '%':
    case '&':
    case '^':
    case '*':
    case '\'':
    case '"':
    case '`':
    case '~':
    case '|':
    case '\\':
        return true;
    default:
        return false;
    }
}

qreal fromFixed(qint64 x) {
    return qreal(x) / 64;
}

} // namespace

// A row as shown: the line it belongs to and its number in that line.
struct RowRef {
    qsizetype line = 0;
    qint64 row = 0;
    bool operator==(const RowRef&) const = default;
};

struct TextView::Private {
    TextView* q;
    Document* own;
    QPointer<Document> doc;
    Lines* lines;
    bool wrap = true;
    bool readOnly = false;

    qsizetype caret = 0;
    qsizetype anchor = 0;
    std::optional<qreal> desiredX; // kept by moves up and down
    qsizetype topPosition = 0;     // the start of the top row
    int xOffset = 0;               // without wrap
    bool settingScroll = false;

    QFont layoutFont;
    std::shared_ptr<internal::CharWidths> widths;
    int rowHeight = 14;
    qreal ascent = 11;

    // The layouts of the rows shown, by their text: those used by the last
    // paint are kept for the next.
    QHash<QString, std::shared_ptr<QTextLayout>> layouts, lastLayouts;

    QString preedit;
    QList<QInputMethodEvent::Attribute> preeditAttributes;
    int preeditCursor = 0;
    bool preeditCursorVisible = true;

    QBasicTimer blink;
    bool caretOn = true;

    enum class Press { None, Select, Words, Lines, MaybeDrag };
    Press press = Press::None;
    QPoint pressPoint;
    qsizetype pressPosition = 0;
    qsizetype unitStart = 0; // the word or line the press selected
    qsizetype unitEnd = 0;
    QBasicTimer tripleClick;
    QPoint tripleClickPoint;
    QBasicTimer autoScroll;
    QPoint lastMouse;
    std::optional<qsizetype> dropCaret;

    std::optional<qsizetype> pendingMove; // a line as shown
    bool movingCaret = false;
    bool editing = false;               // the caret follows an edit: the step to undo stays open
    std::optional<qsizetype> editCaret; // where the view's own edit puts the caret
    std::optional<qsizetype> questionPosition;
    std::function<void(qsizetype)> questionAnswer;

    QMetaObject::Connection documentConnections[5];

    explicit Private(TextView* view) : q(view), own(new Document(view)), doc(own) {
        lines = new Lines(own, view);
    }

    TextBuffer& buffer() const { return doc->buffer(); }
    TextReader<TextBuffer> text() const { return buffer().reader(); }
    RowCounter& rows() const { return lines->counter(); }
    bool editable() const { return !readOnly && doc->isComplete(); }
    qsizetype length() const { return buffer().length(); }

    // --- setup --------------------------------------------------------------------

    void setUpFont() {
        layoutFont = q->font();
        // Advances add up to exactly what a row's layout measures.
        layoutFont.setKerning(false);
        widths = std::make_shared<internal::CharWidths>(layoutFont, kTabStop);
        // One height for every row: the tallest a row of Latin and Japanese
        // text takes (fallback fonts included).
        QTextLayout sample(QStringLiteral("Ag|日本語あア"), layoutFont);
        sample.beginLayout();
        QTextLine line = sample.createLine();
        line.setLeadingIncluded(true);
        sample.endLayout();
        rowHeight = std::max(1, qCeil(line.height()));
        ascent = line.ascent();
        layouts.clear();
        lastLayouts.clear();
        updateSetup();
    }

    int textWidth() const { return std::max(1, q->viewport()->width() - 2 * kMargin); }

    void updateSetup() {
        internal::WrapSetup setup;
        setup.wrap = wrap;
        setup.width = textWidth() * 64;
        setup.widths = widths;
        lines->setSetup(setup);
        snapTop();
        updateScrollBars();
        q->viewport()->update();
    }

    // --- text positions and rows ----------------------------------------------------

    qsizetype lineStart(qsizetype line) const { return text().lineStart(line); }
    qsizetype lineLength(qsizetype line) const {
        return text().lineEnd(line) - text().lineStart(line);
    }
    qsizetype lastLine() const { return buffer().breakCount(); }
    qint64 rowsOf(qsizetype line) const { return wrap ? rows().rowsOfLine(line) : 1; }

    RowRef refOf(qsizetype position) const {
        position = std::clamp<qsizetype>(position, 0, length());
        const qsizetype line = text().lineOf(position);
        if (!wrap)
            return {line, 0};
        return {line, rows().rowInLine(line, position - lineStart(line))};
    }

    // The row's part of its line: [from, to) offsets in the line.
    std::pair<qsizetype, qsizetype> rowSpan(const RowRef& r) const {
        if (!wrap)
            return {0, lineLength(r.line)};
        const std::vector<qsizetype>& starts = rows().rowStarts(r.line);
        const size_t i = size_t(std::clamp<qint64>(r.row, 0, qint64(starts.size()) - 1));
        const qsizetype from = starts[i];
        const qsizetype to = i + 1 < starts.size() ? starts[i + 1] : lineLength(r.line);
        return {from, to};
    }

    std::optional<RowRef> nextRow(const RowRef& r) const {
        if (r.row + 1 < rowsOf(r.line))
            return RowRef{r.line, r.row + 1};
        if (r.line < lastLine())
            return RowRef{r.line + 1, 0};
        return std::nullopt;
    }
    std::optional<RowRef> previousRow(const RowRef& r) const {
        if (r.row > 0)
            return RowRef{r.line, r.row - 1};
        if (r.line > 0)
            return RowRef{r.line - 1, rowsOf(r.line - 1) - 1};
        return std::nullopt;
    }
    RowRef lastRow() const { return {lastLine(), rowsOf(lastLine()) - 1}; }
    // Rows from a to b (b after a), or nothing when more than `limit`.
    std::optional<qint64> rowsBetween(RowRef a, const RowRef& b, qint64 limit) const {
        if (b.line - a.line > limit)
            return std::nullopt;
        qint64 n = 0;
        while (!(a == b)) {
            const std::optional<RowRef> next = nextRow(a);
            if (!next || ++n > limit)
                return std::nullopt;
            a = *next;
        }
        return n;
    }
    bool before(const RowRef& a, const RowRef& b) const {
        return a.line < b.line || (a.line == b.line && a.row < b.row);
    }
    RowRef walk(RowRef from, qint64 count) const {
        for (; count > 0; --count) {
            const std::optional<RowRef> next = nextRow(from);
            if (!next)
                break;
            from = *next;
        }
        for (; count < 0; ++count) {
            const std::optional<RowRef> previous = previousRow(from);
            if (!previous)
                break;
            from = *previous;
        }
        return from;
    }
    qsizetype rowPosition(const RowRef& r) const { return lineStart(r.line) + rowSpan(r).first; }

    // --- scrolling -------------------------------------------------------------------

    RowRef top() const { return refOf(topPosition); }
    int fullRows() const { return std::max(1, (q->viewport()->height() - kMargin) / rowHeight); }
    void setTop(const RowRef& r) {
        RowRef target = r;
        // The last row stays at the bottom at most.
        const RowRef highest = walk(lastRow(), -(fullRows() - 1));
        if (before(highest, target))
            target = highest;
        topPosition = rowPosition(target);
    }
    // The top again a row's start, after the rows changed.
    void snapTop() { topPosition = rowPosition(top()); }

    void updateScrollBars() {
        settingScroll = true;
        QScrollBar* vertical = q->verticalScrollBar();
        const RowRef t = top();
        const qint64 total = wrap ? rows().estimatedTotalRows() : lastLine() + 1;
        const qint64 value = wrap ? rows().estimatedRowsBefore(t.line) + t.row : t.line;
        vertical->setRange(0, int(std::clamp<qint64>(total - fullRows(), 0, INT_MAX)));
        vertical->setPageStep(fullRows());
        vertical->setSingleStep(1);
        vertical->setValue(int(std::min<qint64>(value, INT_MAX)));
        QScrollBar* horizontal = q->horizontalScrollBar();
        if (wrap) {
            horizontal->setRange(0, 0);
            xOffset = 0;
        } else {
            const qint64 content = qint64(fromFixed(rows().widest())) + 2 * kMargin + 1;
            horizontal->setRange(
                0, int(std::clamp<qint64>(content - q->viewport()->width(), 0, INT_MAX)));
            horizontal->setPageStep(q->viewport()->width());
            horizontal->setSingleStep(20);
            xOffset = std::min(xOffset, horizontal->maximum());
            horizontal->setValue(xOffset);
        }
        settingScroll = false;
    }

    void scrolledTo(int vertical, int horizontal) {
        if (wrap) {
            qint64 inLine = 0;
            const qsizetype line = rows().lineAtEstimatedRow(vertical, &inLine);
            topPosition = rowPosition({line, std::min<qint64>(inLine, rowsOf(line) - 1)});
        } else {
            topPosition = lineStart(std::clamp<qsizetype>(vertical, 0, lastLine()));
            xOffset = horizontal;
        }
        q->viewport()->update();
        q->updateMicroFocus();
    }

    // --- layouts ---------------------------------------------------------------------

    QTextLayout* layoutOf(const QString& rowText) {
        if (const auto found = layouts.constFind(rowText); found != layouts.cend())
            return found->get();
        std::shared_ptr<QTextLayout> layout;
        if (const auto kept = lastLayouts.find(rowText); kept != lastLayouts.end()) {
            layout = std::move(*kept);
            lastLayouts.erase(kept);
        } else {
            layout = makeLayout(rowText, {}, -1, {});
        }
        if (layouts.size() > 1000) { // questions about far rows between paints
            lastLayouts.clear();
            layouts.clear();
        }
        layouts.insert(rowText, layout);
        return layout.get();
    }

    std::shared_ptr<QTextLayout> makeLayout(const QString& rowText, const QString& preeditText,
                                            int preeditAt,
                                            const QList<QTextLayout::FormatRange>& formats) {
        auto layout = std::make_shared<QTextLayout>(rowText, layoutFont);
        QTextOption option;
        option.setWrapMode(QTextOption::NoWrap);
        option.setTabStopDistance(kTabStop);
        option.setFlags(QTextOption::IncludeTrailingSpaces);
        layout->setTextOption(option);
        layout->setCacheEnabled(true);
        if (preeditAt >= 0)
            layout->setPreeditArea(preeditAt, preeditText);
        if (!formats.isEmpty())
            layout->setFormats(formats);
        layout->beginLayout();
        QTextLine line = layout->createLine();
        line.setLeadingIncluded(true);
        line.setLineWidth(qreal(INT_MAX / 256));
        line.setPosition(QPointF(0, 0));
        layout->endLayout();
        return layout;
    }

    // A part of a row laid out on its own: the whole row, or without wrap a
    // piece of a long line. Positions are the text's; x from the line's start.
    struct Segment {
        qsizetype from = 0;
        qsizetype to = 0;
        qreal x = 0;
    };
    Segment segmentAt(const RowRef& r, qsizetype offset) const {
        const qsizetype start = lineStart(r.line);
        if (wrap) {
            const auto [from, to] = rowSpan(r);
            return {start + from, start + to, 0};
        }
        const RowCounter::Piece piece = rows().pieceAt(r.line, offset);
        return {start + piece.offset, start + rows().pieceEnd(r.line, piece), fromFixed(piece.x)};
    }
    Segment segmentAtX(const RowRef& r, qreal x) const {
        if (wrap)
            return segmentAt(r, 0);
        const qsizetype start = lineStart(r.line);
        const RowCounter::Piece piece = rows().pieceAtX(r.line, qint64(x * 64));
        return {start + piece.offset, start + rows().pieceEnd(r.line, piece), fromFixed(piece.x)};
    }
    QString textOf(const Segment& s) const {
        QString scratch;
        const QStringView view = text().view(s.from, s.to, scratch);
        return scratch.isNull() ? view.toString() : scratch;
    }

    // The x of a position, from its line's start.
    qreal xOf(qsizetype position) {
        const RowRef r = refOf(position);
        const Segment s = segmentAt(r, position - lineStart(r.line));
        QTextLayout* layout = layoutOf(textOf(s));
        return s.x + layout->lineAt(0).cursorToX(int(position - s.from));
    }

    // The position in a row nearest to an x from its line's start.
    qsizetype positionInRow(const RowRef& r, qreal x) {
        const Segment s = segmentAtX(r, x);
        const QString rowText = textOf(s);
        QTextLayout* layout = layoutOf(rowText);
        qsizetype at = s.from + layout->lineAt(0).xToCursor(x - s.x);
        // The end of a row that wraps is the next row's start: a point beyond
        // it stays in this row, before a space that ends it, or else before
        // its last character.
        if (wrap && at >= s.to && r.row + 1 < rowsOf(r.line) && s.to > s.from) {
            at = s.to - 1;
            if (QChar(rowText.back()).isLowSurrogate() && s.to - 2 >= s.from)
                at = s.to - 2;
        }
        return at;
    }

    int yOf(const RowRef& r) const {
        const RowRef t = top();
        qint64 index;
        if (before(r, t)) {
            index = -(rowsBetween(r, t, fullRows() + 2).value_or(fullRows() + 2));
        } else {
            index = rowsBetween(t, r, fullRows() + 2).value_or(fullRows() + 2);
        }
        return kMargin + int(index) * rowHeight;
    }

    QRect caretRect(qsizetype position) {
        position = std::clamp<qsizetype>(position, 0, length());
        const RowRef r = refOf(position);
        const int x = kMargin + qRound(xOf(position)) - xOffset;
        return QRect(x, yOf(r), 1, rowHeight);
    }

    qsizetype positionAt(const QPoint& point) {
        const int index = point.y() < kMargin ? -1 : (point.y() - kMargin) / rowHeight;
        const RowRef r = walk(top(), index);
        return positionInRow(r, qreal(point.x() - kMargin + xOffset));
    }

    // --- moves -----------------------------------------------------------------------

    qsizetype nextCharacter(qsizetype position) const {
        if (position >= length())
            return length();
        QString scratch;
        const QStringView window = text().view(position, position + 32, scratch);
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, window.data(),
                                   int(window.size()));
        const qsizetype next = finder.toNextBoundary();
        return position + (next > 0 ? next : 1);
    }
    qsizetype previousCharacter(qsizetype position) const {
        if (position <= 0)
            return 0;
        const qsizetype from = std::max<qsizetype>(0, position - 32);
        QString scratch;
        const QStringView window = text().view(from, position, scratch);
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, window.data(),
                                   int(window.size()));
        finder.toEnd();
        const qsizetype previous = finder.toPreviousBoundary();
        return previous >= 0 && from + previous < position ? from + previous : position - 1;
    }
    // The previous code point (Backspace takes one, not a whole cluster).
    qsizetype previousCodePoint(qsizetype position) const {
        if (position <= 0)
            return 0;
        if (position >= 2 && text().at(position - 1).isLowSurrogate() &&
            text().at(position - 2).isHighSurrogate())
            return position - 2;
        return position - 1;
    }

    // The first position from `from` on (before `end`) whose character does
    // not pass `keep`, read a window at a time (a run may be millions long).
    template <typename Keep> qsizetype skipForward(qsizetype from, qsizetype end, Keep keep) const {
        QString scratch;
        while (from < end) {
            const qsizetype to = std::min(end, from + 4096);
            const QStringView window = text().view(from, to, scratch);
            for (const QChar c : window) {
                if (!keep(c))
                    return from;
                ++from;
            }
        }
        return from;
    }
    // The first position back from `from` (not before `start`) after which
    // every character passes `keep`.
    template <typename Keep>
    qsizetype skipBackward(qsizetype from, qsizetype start, Keep keep) const {
        QString scratch;
        while (from > start) {
            const qsizetype begin = std::max(start, from - 4096);
            const QStringView window = text().view(begin, from, scratch);
            for (qsizetype i = window.size(); i > 0; --i) {
                if (!keep(window[i - 1]))
                    return from;
                --from;
            }
        }
        return from;
    }

    // Moves over a word as Qt's plain-text editor does: over word characters
    // or over separators, then over the spaces after them; a line's end and
    // the next line's start are each a stop.
    qsizetype nextWord(qsizetype position) const {
        const qsizetype line = text().lineOf(position);
        const qsizetype end = text().lineEnd(line);
        if (position >= end)
            return std::min(length(), position + (position < length() ? 1 : 0));
        const auto wordCharacter = [](QChar c) { return !c.isSpace() && !isWordSeparator(c); };
        if (isWordSeparator(text().at(position)))
            position = skipForward(position, end, isWordSeparator);
        else
            position = skipForward(position, end, wordCharacter);
        return skipForward(position, end, [](QChar c) { return c.isSpace(); });
    }
    qsizetype previousWord(qsizetype position) const {
        const qsizetype line = text().lineOf(position);
        const qsizetype start = text().lineStart(line);
        if (position <= start)
            return std::max<qsizetype>(0, position - 1);
        position = skipBackward(position, start, [](QChar c) { return c.isSpace(); });
        const auto wordCharacter = [](QChar c) { return !c.isSpace() && !isWordSeparator(c); };
        if (position > start && isWordSeparator(text().at(position - 1)))
            return skipBackward(position, start, isWordSeparator);
        return skipBackward(position, start, wordCharacter);
    }

    qsizetype rowStartOf(qsizetype position) const { return rowPosition(refOf(position)); }
    qsizetype rowEndOf(qsizetype position) const {
        const RowRef r = refOf(position);
        const auto [from, to] = rowSpan(r);
        const qsizetype start = lineStart(r.line);
        if (r.row + 1 >= rowsOf(r.line))
            return start + lineLength(r.line);
        // A row that wraps ends before the space it broke after (as Qt's
        // editor does: a row broken elsewhere ends at the next row's start).
        qsizetype end = start + to;
        if (to > from && text().at(end - 1).isSpace())
            --end;
        return end;
    }

    std::optional<qsizetype> verticalMove(qsizetype position, qint64 rowsToMove) {
        const RowRef from = refOf(position);
        const RowRef to = walk(from, rowsToMove);
        if (to == from)
            return std::nullopt;
        if (!desiredX)
            desiredX = xOf(position);
        return positionInRow(to, *desiredX);
    }

    // --- the word or line at a position (double and triple clicks) -------------------

    // The word a double click selects, as Qt's editor takes it: the run of
    // characters that are neither spaces nor separators around the position
    // (a separator alone, or a run of spaces).
    std::pair<qsizetype, qsizetype> wordAt(qsizetype position) const {
        const qsizetype line = text().lineOf(position);
        const qsizetype start = text().lineStart(line), end = text().lineEnd(line);
        if (start == end)
            return {position, position};
        if (position >= end)
            position = end - 1;
        const QChar c = text().at(position);
        if (isWordSeparator(c))
            return {position, position + 1};
        const auto same = [&](QChar o) {
            return c.isSpace() ? o.isSpace() : !o.isSpace() && !isWordSeparator(o);
        };
        return {skipBackward(position, start, same), skipForward(position, end, same)};
    }
    std::pair<qsizetype, qsizetype> lineAt(qsizetype position) const {
        const qsizetype line = text().lineOf(position);
        return {text().lineStart(line),
                std::min(length(), text().lineEnd(line) + 1)}; // its line break too
    }
};

// --- the widget ------------------------------------------------------------------------

TextView::TextView(QWidget* parent)
    : QAbstractScrollArea(parent), d(std::make_unique<Private>(this)) {
    setAttribute(Qt::WA_InputMethodEnabled);
    setFocusPolicy(Qt::StrongFocus);
    setAcceptDrops(true);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAcceptDrops(true);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    d->setUpFont();
    setDocument(d->own);
    connect(d->lines, &Lines::known, this, [this] {
        d->snapTop();
        d->updateScrollBars();
        viewport()->update();
        if (d->pendingMove)
            moveCaretToLine(*d->pendingMove);
        if (d->questionPosition)
            whenLineKnown(*d->questionPosition, std::exchange(d->questionAnswer, {}));
    });
    internal::ViewAccessible::install();
}

TextView::~TextView() {
    for (QMetaObject::Connection& c : d->documentConnections)
        disconnect(c);
    // The lines stop counting before the document they count can go.
    delete d->lines;
    d->lines = nullptr;
    delete d->own;
}

Document* TextView::document() const {
    return d->doc;
}

Lines* TextView::lines() const {
    return d->lines;
}

void TextView::setDocument(Document* document) {
    if (!document)
        document = d->own;
    for (QMetaObject::Connection& c : d->documentConnections)
        disconnect(c);
    d->doc = document;
    d->lines->setDocument(document);
    d->documentConnections[0] =
        connect(document, &Document::changed, this,
                [this](qsizetype position, qsizetype removed, qsizetype added) {
                    const qsizetype delta = added - removed;
                    // A position after the change moves with it, one in what
                    // was removed goes to its start; text put in where a
                    // position stands (a load's next block) goes after it.
                    const auto follow = [&](qsizetype& p) {
                        if (p >= position + removed && !(removed == 0 && p == position))
                            p += delta;
                        else if (p > position)
                            p = position;
                    };
                    const qsizetype caretWas = d->caret, anchorWas = d->anchor;
                    if (d->editCaret) {
                        // The view's own edit: the caret goes after what it put in.
                        d->caret = d->anchor = *d->editCaret;
                        d->editCaret.reset();
                    } else {
                        follow(d->caret);
                        follow(d->anchor);
                    }
                    follow(d->topPosition);
                    if (d->questionPosition)
                        follow(*d->questionPosition);
                    d->snapTop();
                    d->updateScrollBars();
                    viewport()->update();
                    if (d->caret != caretWas || d->anchor != anchorWas) {
                        emit caretMoved();
                        if (caretWas != anchorWas || hasSelection())
                            emit selectionChanged();
                        updateMicroFocus();
                        internal::ViewAccessible::caretMoved(this);
                    }
                });
    d->documentConnections[1] = connect(document, &Document::reset, this, [this] {
        d->caret = d->anchor = d->topPosition = 0;
        d->xOffset = 0;
        d->desiredX.reset();
        d->pendingMove.reset();
        d->questionPosition.reset();
        d->questionAnswer = {};
        // A composition belonged to the old text.
        if (!d->preedit.isEmpty()) {
            d->preedit.clear();
            d->preeditAttributes.clear();
            if (QGuiApplication::focusObject() == this)
                QGuiApplication::inputMethod()->reset();
        }
        d->updateScrollBars();
        viewport()->update();
        emit caretMoved();
        internal::ViewAccessible::reset(this);
    });
    d->documentConnections[2] = connect(document, &Document::loadFinished, this, [this] {
        d->updateScrollBars();
        viewport()->update();
    });
    d->documentConnections[3] = connect(document, &QObject::destroyed, this, [this] {
        if (d->lines)
            setDocument(d->own);
    });
    d->documentConnections[4] =
        connect(document, &Document::edited, this,
                [this](qsizetype position, const QString& removed, const QString& inserted) {
                    internal::ViewAccessible::edited(this, position, removed, inserted);
                });
    d->caret = d->anchor = d->topPosition = 0;
    d->xOffset = 0;
    d->updateScrollBars();
    viewport()->update();
}

void TextView::setWordWrap(bool on) {
    if (on == d->wrap)
        return;
    d->wrap = on;
    d->xOffset = 0;
    d->desiredX.reset();
    d->updateSetup();
    ensureCaretVisible();
}

bool TextView::wordWrap() const {
    return d->wrap;
}

void TextView::setReadOnly(bool readOnly) {
    d->readOnly = readOnly;
    viewport()->update();
}

bool TextView::isReadOnly() const {
    return !d->editable();
}

int TextView::rowHeight() const {
    return d->rowHeight;
}

// --- caret and selection ------------------------------------------------------------

qsizetype TextView::caret() const {
    return d->caret;
}
qsizetype TextView::anchor() const {
    return d->anchor;
}
qsizetype TextView::selectionStart() const {
    return std::min(d->caret, d->anchor);
}
qsizetype TextView::selectionEnd() const {
    return std::max(d->caret, d->anchor);
}

QString TextView::selectedText() const {
    return d->text().mid(selectionStart(), selectionEnd() - selectionStart());
}

void TextView::select(qsizetype anchor, qsizetype position) {
    anchor = std::clamp<qsizetype>(anchor, 0, d->length());
    position = std::clamp<qsizetype>(position, 0, d->length());
    const bool moved = position != d->caret || anchor != d->anchor;
    const bool selectionWas = hasSelection();
    d->anchor = anchor;
    d->caret = position;
    d->desiredX.reset();
    if (!d->editing)
        d->doc->closeUndoStep();
    if (!d->movingCaret)
        d->pendingMove.reset();
    d->caretOn = true;
    viewport()->update();
    if (moved) {
        emit caretMoved();
        if (selectionWas || hasSelection())
            emit selectionChanged();
        updateMicroFocus();
        internal::ViewAccessible::caretMoved(this);
    }
}

void TextView::setCaret(qsizetype position) {
    select(position, position);
}

void TextView::selectAll() {
    select(0, d->length());
}

void TextView::ensureCaretVisible() {
    const RowRef caretRow = d->refOf(d->caret);
    const RowRef t = d->top();
    const int full = d->fullRows();
    if (d->before(caretRow, t)) {
        d->setTop(caretRow);
    } else {
        const std::optional<qint64> below = d->rowsBetween(t, caretRow, full + 1);
        if (!below || *below >= full)
            d->setTop(d->walk(caretRow, -(full - 1)));
    }
    if (!d->wrap) {
        // (A line of millions of tabs reaches past what a widget can scroll.)
        qreal x = std::min<qreal>(d->xOf(d->caret), INT_MAX / 2);
        if (!d->preedit.isEmpty()) // what is being composed shows too
            x += QFontMetricsF(d->layoutFont).horizontalAdvance(d->preedit);
        d->rows().widen(qint64(x * 64) + 64);
        const int room = viewport()->width() - 2 * kMargin;
        if (x < d->xOffset)
            d->xOffset = std::max(0, int(x) - room / 4);
        else if (x > d->xOffset + room - 1)
            d->xOffset = int(x) - room + room / 4;
    }
    d->updateScrollBars();
    viewport()->update();
    updateMicroFocus();
}

// --- edits ----------------------------------------------------------------------------

namespace {

// Replaces the selection as the user does, one step to undo; the caret
// goes after what was put in.
bool userEdit(TextView* view, Document* doc, qsizetype from, qsizetype removed, const QString& text,
              Document::EditKind kind, bool& editing, std::optional<qsizetype>& editCaret) {
    editCaret = from + text.size();
    const bool done = doc->replace(from, removed, text, kind);
    editCaret.reset();
    if (!done)
        return false;
    editing = true;
    view->setCaret(from + text.size());
    editing = false;
    view->ensureCaretVisible();
    return true;
}

} // namespace

void TextView::insertText(const QString& text) {
    if (!d->editable() || (text.isEmpty() && !hasSelection()))
        return;
    userEdit(this, d->doc, selectionStart(), selectionEnd() - selectionStart(), text,
             Document::EditKind::Other, d->editing, d->editCaret);
}

void TextView::deleteSelection() {
    if (!d->editable() || !hasSelection())
        return;
    userEdit(this, d->doc, selectionStart(), selectionEnd() - selectionStart(), QString(),
             Document::EditKind::Other, d->editing, d->editCaret);
}

void TextView::copy() const {
    if (!hasSelection())
        return;
    QGuiApplication::clipboard()->setText(selectedText());
}

void TextView::cut() {
    if (!d->editable() || !hasSelection())
        return;
    copy();
    deleteSelection();
}

void TextView::paste() {
    if (!d->editable())
        return;
    const QString text = withLineFeeds(QGuiApplication::clipboard()->text());
    if (text.isEmpty())
        return;
    insertText(text);
}

void TextView::undo() {
    if (const std::optional<qsizetype> at = d->doc->undo()) {
        setCaret(*at);
        ensureCaretVisible();
    }
}

void TextView::redo() {
    if (const std::optional<qsizetype> at = d->doc->redo()) {
        setCaret(*at);
        ensureCaretVisible();
    }
}

// --- compositions ---------------------------------------------------------------------

QString TextView::composition() const {
    return d->preedit;
}

void TextView::commitComposition() {
    if (d->preedit.isEmpty())
        return;
    const bool focused = QGuiApplication::focusObject() == this;
    if (focused)
        QGuiApplication::inputMethod()->commit();
    if (d->preedit.isEmpty())
        return;
    // An input method that did not commit it is told to forget it once it
    // is text.
    QInputMethodEvent commit;
    commit.setCommitString(d->preedit);
    QCoreApplication::sendEvent(this, &commit);
    if (focused)
        QGuiApplication::inputMethod()->reset();
}

// --- lines as shown ------------------------------------------------------------------

void TextView::moveCaretToLine(qsizetype line) {
    d->pendingMove.reset();
    const std::optional<qsizetype> start = d->lines->lineStart(line);
    if (!start) {
        d->pendingMove = line;
        return;
    }
    if (*start < 0)
        return;
    d->movingCaret = true;
    setCaret(*start);
    d->movingCaret = false;
    ensureCaretVisible();
}

void TextView::whenLineKnown(qsizetype position, std::function<void(qsizetype)> answer) {
    d->questionPosition.reset();
    d->questionAnswer = {};
    if (const std::optional<qsizetype> line = d->lines->lineOf(position)) {
        answer(*line);
        return;
    }
    d->questionPosition = position;
    d->questionAnswer = std::move(answer);
}

// --- geometry --------------------------------------------------------------------------

QRect TextView::caretRect(qsizetype position) const {
    return d->caretRect(position);
}

qsizetype TextView::positionAt(const QPoint& point) const {
    return d->positionAt(point);
}

// --- painting --------------------------------------------------------------------------

void TextView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    d->lastLayouts = std::move(d->layouts);
    d->layouts.clear();
    const QPalette& pal = palette();
    painter.setPen(pal.color(QPalette::Text));
    const qsizetype selFrom = selectionStart(), selTo = selectionEnd();
    QTextCharFormat selected;
    selected.setBackground(pal.brush(QPalette::Highlight));
    selected.setForeground(pal.brush(QPalette::HighlightedText));
    const bool showCaret = hasFocus() && d->caretOn && d->preeditCursorVisible;
    const int height = viewport()->height();
    const qreal left = kMargin - d->xOffset;
    const RowRef caretRow = d->refOf(d->caret);
    std::optional<RowRef> row = d->top();
    for (int y = kMargin; row && y < height; y += d->rowHeight, row = d->nextRow(*row)) {
        const qsizetype start = d->lineStart(row->line);
        // The segments of the row that are in view.
        std::vector<Private::Segment> segments;
        if (d->wrap) {
            segments.push_back(d->segmentAt(*row, 0));
        } else {
            Private::Segment s = d->segmentAtX(*row, qreal(d->xOffset));
            for (;;) {
                segments.push_back(s);
                if (s.to >= start + d->lineLength(row->line) ||
                    s.x - d->xOffset > viewport()->width())
                    break;
                s = d->segmentAt(*row, s.to - start);
            }
        }
        for (const Private::Segment& s : segments) {
            const QString rowText = d->textOf(s);
            const bool caretHere =
                d->caret >= s.from &&
                (d->caret < s.to ||
                 (d->caret == s.to &&
                  (s.to == start + d->lineLength(row->line) || caretRow == *row)));
            QTextLayout* layout;
            std::shared_ptr<QTextLayout> composing;
            if (caretHere && !d->preedit.isEmpty()) {
                // The input method's text shown in place, with its formats.
                QList<QTextLayout::FormatRange> formats;
                const int at = int(d->caret - s.from);
                for (const QInputMethodEvent::Attribute& a : d->preeditAttributes) {
                    if (a.type != QInputMethodEvent::TextFormat)
                        continue;
                    const QTextCharFormat f = a.value.value<QTextFormat>().toCharFormat();
                    if (f.isValid())
                        formats.append({at + a.start, a.length, f});
                }
                composing = d->makeLayout(rowText, d->preedit, at, formats);
                layout = composing.get();
            } else {
                layout = d->layoutOf(rowText);
            }
            QList<QTextLayout::FormatRange> selections;
            if (selFrom < selTo && selFrom < s.to && selTo > s.from) {
                const qsizetype a = std::max(selFrom, s.from), b = std::min(selTo, s.to);
                selections.append({int(a - s.from), int(b - a), selected});
            }
            const QTextLine line = layout->lineAt(0);
            const QPointF at(left + s.x, y + d->ascent - line.ascent());
            layout->draw(&painter, at, selections);
            if (caretHere && showCaret) {
                int cursor = int(d->caret - s.from);
                if (!d->preedit.isEmpty())
                    cursor += d->preeditCursor;
                layout->drawCursor(&painter, at, cursor, 1);
            }
            if (d->dropCaret && *d->dropCaret >= s.from && *d->dropCaret <= s.to)
                layout->drawCursor(&painter, at, int(*d->dropCaret - s.from), 1);
        }
    }
}

void TextView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    d->updateSetup();
}

bool TextView::viewportEvent(QEvent* event) {
    // The viewport also changes size when a scroll bar comes or goes.
    if (event->type() == QEvent::Resize)
        d->updateSetup();
    return QAbstractScrollArea::viewportEvent(event);
}

void TextView::scrollContentsBy(int, int) {
    if (d->settingScroll)
        return;
    d->scrolledTo(verticalScrollBar()->value(), horizontalScrollBar()->value());
}

void TextView::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        d->setUpFont();
    else if (event->type() == QEvent::PaletteChange || event->type() == QEvent::EnabledChange)
        viewport()->update();
}

void TextView::timerEvent(QTimerEvent* event) {
    if (event->timerId() == d->blink.timerId()) {
        d->caretOn = !d->caretOn;
        viewport()->update(caretRect().adjusted(-2, 0, 2, 0));
        return;
    }
    if (event->timerId() == d->tripleClick.timerId()) {
        d->tripleClick.stop();
        return;
    }
    if (event->timerId() == d->autoScroll.timerId()) {
        // Selecting beyond the edge scrolls on.
        const QPoint p = d->lastMouse;
        const QRect area = viewport()->rect();
        if (p.y() < 0)
            d->setTop(d->walk(d->top(), -1));
        else if (p.y() > area.height())
            d->setTop(d->walk(d->top(), 1));
        if (!d->wrap && p.x() < 0)
            d->xOffset = std::max(0, d->xOffset - 20);
        else if (!d->wrap && p.x() > area.width())
            d->xOffset += 20;
        d->updateScrollBars();
        select(d->anchor, positionAt(p));
        return;
    }
    QAbstractScrollArea::timerEvent(event);
}

void TextView::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    const int flash = QGuiApplication::styleHints()->cursorFlashTime();
    if (flash > 0)
        d->blink.start(flash / 2, this);
    d->caretOn = true;
    viewport()->update();
}

void TextView::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    d->blink.stop();
    viewport()->update();
}

// --- keys ------------------------------------------------------------------------------

bool TextView::event(QEvent* event) {
    // Tab is the editor's (a tab character), not a move of the focus.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab &&
            !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier))) {
            keyPressEvent(key);
            return true;
        }
    }
    if (event->type() == QEvent::ShortcutOverride) {
        // Editing keys go to the editor before any shortcut of the window.
        auto* key = static_cast<QKeyEvent*>(event);
        using K = QKeySequence;
        for (K::StandardKey k :
             {K::Copy, K::Paste, K::Cut, K::Undo, K::Redo, K::SelectAll, K::Delete,
              K::DeleteEndOfWord, K::DeleteStartOfWord, K::DeleteEndOfLine, K::MoveToNextWord,
              K::MoveToPreviousWord, K::SelectNextWord, K::SelectPreviousWord,
              K::MoveToStartOfDocument, K::MoveToEndOfDocument, K::SelectStartOfDocument,
              K::SelectEndOfDocument}) {
            if (key->matches(k)) {
                event->accept();
                return true;
            }
        }
    }
    return QAbstractScrollArea::event(event);
}

void TextView::keyPressEvent(QKeyEvent* e) {
    using K = QKeySequence;
    d->caretOn = true;
    // Moves: with Shift the selection follows.
    struct Move {
        K::StandardKey move, select;
    };
    const auto moveTo = [&](qsizetype position, bool extend) {
        const std::optional<qreal> keepX = d->desiredX;
        select(extend ? d->anchor : position, position);
        ensureCaretVisible();
        return keepX;
    };
    const auto matchesMove = [&](K::StandardKey move, K::StandardKey selecting, bool* extend) {
        if (e->matches(move)) {
            *extend = false;
            return true;
        }
        if (e->matches(selecting)) {
            *extend = true;
            return true;
        }
        return false;
    };
    bool extend = false;
    if (matchesMove(K::MoveToNextChar, K::SelectNextChar, &extend)) {
        if (!extend && hasSelection())
            moveTo(selectionEnd(), false);
        else
            moveTo(d->nextCharacter(d->caret), extend);
        return;
    }
    if (matchesMove(K::MoveToPreviousChar, K::SelectPreviousChar, &extend)) {
        if (!extend && hasSelection())
            moveTo(selectionStart(), false);
        else
            moveTo(d->previousCharacter(d->caret), extend);
        return;
    }
    if (matchesMove(K::MoveToNextWord, K::SelectNextWord, &extend)) {
        moveTo(d->nextWord(d->caret), extend);
        return;
    }
    if (matchesMove(K::MoveToPreviousWord, K::SelectPreviousWord, &extend)) {
        moveTo(d->previousWord(d->caret), extend);
        return;
    }
    if (matchesMove(K::MoveToStartOfLine, K::SelectStartOfLine, &extend)) {
        moveTo(d->rowStartOf(d->caret), extend);
        return;
    }
    if (matchesMove(K::MoveToEndOfLine, K::SelectEndOfLine, &extend)) {
        moveTo(d->rowEndOf(d->caret), extend);
        return;
    }
    if (matchesMove(K::MoveToStartOfBlock, K::SelectStartOfBlock, &extend)) {
        moveTo(d->lineStart(d->text().lineOf(d->caret)), extend);
        return;
    }
    if (matchesMove(K::MoveToEndOfBlock, K::SelectEndOfBlock, &extend)) {
        moveTo(d->text().lineEnd(d->text().lineOf(d->caret)), extend);
        return;
    }
    if (matchesMove(K::MoveToStartOfDocument, K::SelectStartOfDocument, &extend)) {
        moveTo(0, extend);
        return;
    }
    if (matchesMove(K::MoveToEndOfDocument, K::SelectEndOfDocument, &extend)) {
        moveTo(d->length(), extend);
        return;
    }
    const bool down = matchesMove(K::MoveToNextLine, K::SelectNextLine, &extend);
    if (down || matchesMove(K::MoveToPreviousLine, K::SelectPreviousLine, &extend)) {
        const std::optional<qsizetype> to = d->verticalMove(d->caret, down ? 1 : -1);
        // At the first or the last row a selection still reaches the end.
        if (!to && extend)
            moveTo(down ? d->length() : 0, true);
        else if (to)
            d->desiredX = moveTo(*to, extend);
        return;
    }
    const bool pageDown = matchesMove(K::MoveToNextPage, K::SelectNextPage, &extend);
    if (pageDown || matchesMove(K::MoveToPreviousPage, K::SelectPreviousPage, &extend)) {
        const qint64 page = d->fullRows();
        const std::optional<qsizetype> to = d->verticalMove(d->caret, pageDown ? page : -page);
        // The view moves by a page with the caret.
        d->setTop(d->walk(d->top(), pageDown ? page : -page));
        if (to)
            d->desiredX = moveTo(*to, extend);
        d->updateScrollBars();
        viewport()->update();
        return;
    }
    if (e->matches(K::SelectAll)) {
        selectAll();
        return;
    }
    if (e->matches(K::Copy)) {
        copy();
        return;
    }
    // Whatever changes the text.
    if (!d->editable()) {
        e->ignore();
        return;
    }
    const qsizetype from = selectionStart(), to = selectionEnd();
    const auto removeTo = [&](qsizetype other, Document::EditKind kind) {
        const qsizetype a = std::min(d->caret, other), b = std::max(d->caret, other);
        if (b > a)
            userEdit(this, d->doc, a, b - a, QString(), kind, d->editing, d->editCaret);
    };
    if (e->key() == Qt::Key_Backspace && !(e->modifiers() & ~Qt::ShiftModifier)) {
        if (hasSelection())
            deleteSelection();
        else
            removeTo(d->previousCodePoint(d->caret), Document::EditKind::DeleteBackward);
        return;
    }
    if (e->matches(K::InsertParagraphSeparator) || e->matches(K::InsertLineSeparator)) {
        // Shift+Enter too makes a line break (not a separator that is no line
        // break in the record's file).
        userEdit(this, d->doc, from, to - from, QStringLiteral("\n"), Document::EditKind::Other,
                 d->editing, d->editCaret);
        return;
    }
    if (e->matches(K::Undo)) {
        undo();
        return;
    }
    if (e->matches(K::Redo)) {
        redo();
        return;
    }
    if (e->matches(K::Cut)) {
        cut();
        return;
    }
    if (e->matches(K::Paste)) {
        paste();
        return;
    }
    if (e->matches(K::Delete)) {
        if (hasSelection())
            deleteSelection();
        else
            removeTo(d->nextCharacter(d->caret), Document::EditKind::DeleteForward);
        return;
    }
    if (e->matches(K::Backspace)) {
        if (hasSelection())
            deleteSelection();
        else
            removeTo(d->previousCodePoint(d->caret), Document::EditKind::DeleteBackward);
        return;
    }
    if (e->matches(K::DeleteEndOfWord)) {
        if (hasSelection())
            deleteSelection();
        else
            removeTo(d->nextWord(d->caret), Document::EditKind::Other);
        return;
    }
    if (e->matches(K::DeleteStartOfWord)) {
        if (hasSelection())
            deleteSelection();
        else
            removeTo(d->previousWord(d->caret), Document::EditKind::Other);
        return;
    }
    if (e->matches(K::DeleteEndOfLine)) {
        const qsizetype end = d->text().lineEnd(d->text().lineOf(d->caret));
        removeTo(end, Document::EditKind::Other);
        return;
    }
    if (e->matches(K::DeleteCompleteLine)) {
        const auto [start, end] = d->lineAt(d->caret);
        userEdit(this, d->doc, start, end - start, QString(), Document::EditKind::Other, d->editing,
                 d->editCaret);
        return;
    }
    // Typed text.
    const QString typed = e->text();
    bool acceptable = false;
    if (!typed.isEmpty()) {
        const QChar c = typed.at(0);
        const Qt::KeyboardModifiers mods = e->modifiers();
        if (c.category() == QChar::Other_Format)
            acceptable = true;
        else if (mods == Qt::ControlModifier || mods == (Qt::ShiftModifier | Qt::ControlModifier))
            acceptable = false;
        else
            acceptable =
                c.isPrint() || c.category() == QChar::Other_PrivateUse ||
                (c.isHighSurrogate() && typed.size() > 1 && typed.at(1).isLowSurrogate()) ||
                c == u'\t';
    }
    if (acceptable) {
        userEdit(this, d->doc, from, to - from, typed, Document::EditKind::Typing, d->editing,
                 d->editCaret);
        return;
    }
    e->ignore();
}

// --- input methods ---------------------------------------------------------------------

void TextView::inputMethodEvent(QInputMethodEvent* e) {
    if (!d->editable()) {
        e->ignore();
        return;
    }
    const QString commit = withLineFeeds(e->commitString());
    const bool hadPreedit = !d->preedit.isEmpty();
    if (!commit.isEmpty() || e->replacementLength() > 0) {
        // What the input method replaces lies around the caret (or the selection).
        qsizetype from = selectionStart(), to = selectionEnd();
        if (e->replacementLength() > 0) {
            from = std::clamp<qsizetype>(d->caret + e->replacementStart(), 0, d->length());
            to = std::clamp<qsizetype>(from + e->replacementLength(), from, d->length());
        }
        userEdit(this, d->doc, from, to - from, commit, Document::EditKind::Other, d->editing,
                 d->editCaret);
    }
    d->preedit = e->preeditString();
    d->preeditAttributes = e->attributes();
    d->preeditCursor = int(d->preedit.size());
    d->preeditCursorVisible = true;
    for (const QInputMethodEvent::Attribute& a : e->attributes()) {
        if (a.type == QInputMethodEvent::Cursor) {
            d->preeditCursor = a.start;
            d->preeditCursorVisible = a.length != 0;
        } else if (a.type == QInputMethodEvent::Selection && d->preedit.isEmpty()) {
            const qsizetype at = std::clamp<qsizetype>(a.start, 0, d->length());
            select(at, std::clamp<qsizetype>(at + a.length, 0, d->length()));
        }
    }
    if (hadPreedit || !d->preedit.isEmpty()) {
        ensureCaretVisible();
        viewport()->update();
    }
    updateMicroFocus();
    e->accept();
}

QVariant TextView::inputMethodQuery(Qt::InputMethodQuery query) const {
    // The text around the caret: the whole line for a short one, else a
    // window of it.
    const auto surrounding = [this](qsizetype* start) {
        const qsizetype line = d->text().lineOf(d->caret);
        const qsizetype from = std::max(d->text().lineStart(line), d->caret - 512);
        const qsizetype to = std::min(d->text().lineEnd(line), d->caret + 512);
        *start = from;
        return d->text().mid(from, to - from);
    };
    qsizetype start = 0;
    switch (query) {
    case Qt::ImEnabled:
        return d->editable();
    case Qt::ImHints:
        return int(Qt::ImhMultiLine);
    case Qt::ImCursorRectangle: {
        QRect r = d->caretRect(d->caret);
        if (!d->preedit.isEmpty())
            r.translate(
                QFontMetrics(d->layoutFont).horizontalAdvance(d->preedit.left(d->preeditCursor)),
                0);
        return QRectF(r.translated(viewport()->pos()));
    }
    case Qt::ImAnchorRectangle:
        return QRectF(d->caretRect(d->anchor).translated(viewport()->pos()));
    case Qt::ImFont:
        return d->layoutFont;
    case Qt::ImCursorPosition:
        surrounding(&start);
        return int(d->caret - start);
    case Qt::ImAnchorPosition:
        surrounding(&start);
        return int(std::clamp<qsizetype>(d->anchor - start, 0, INT_MAX));
    case Qt::ImSurroundingText:
        return surrounding(&start);
    case Qt::ImCurrentSelection:
        return selectedText();
    case Qt::ImAbsolutePosition:
        return qlonglong(d->caret);
    case Qt::ImTextBeforeCursor: {
        const QString around = surrounding(&start);
        return around.left(d->caret - start);
    }
    case Qt::ImTextAfterCursor: {
        const QString around = surrounding(&start);
        return around.mid(d->caret - start);
    }
    case Qt::ImMaximumTextLength:
        return QVariant(); // no limit
    case Qt::ImReadOnly:
        return !d->editable();
    default:
        return QAbstractScrollArea::inputMethodQuery(query);
    }
}

// --- the mouse -------------------------------------------------------------------------

void TextView::mousePressEvent(QMouseEvent* e) {
    d->lastMouse = e->position().toPoint();
    if (e->button() == Qt::MiddleButton) {
        QClipboard* clipboard = QGuiApplication::clipboard();
        if (clipboard->supportsSelection() && d->editable()) {
            const QString text = withLineFeeds(clipboard->text(QClipboard::Selection));
            setCaret(positionAt(d->lastMouse));
            if (!text.isEmpty())
                insertText(text);
        }
        return;
    }
    if (e->button() != Qt::LeftButton)
        return; // the right button selects nothing
    const qsizetype at = positionAt(d->lastMouse);
    d->pressPoint = d->lastMouse;
    d->pressPosition = at;
    if (d->tripleClick.isActive() && (d->lastMouse - d->tripleClickPoint).manhattanLength() <
                                         QApplication::startDragDistance()) {
        const auto [from, to] = d->lineAt(at);
        d->unitStart = from;
        d->unitEnd = to;
        select(from, to);
        d->press = Private::Press::Lines;
        d->tripleClick.stop();
        return;
    }
    if (e->modifiers() & Qt::ShiftModifier) {
        select(d->anchor, at);
        d->press = Private::Press::Select;
    } else if (hasSelection() && at >= selectionStart() && at < selectionEnd() && d->editable()) {
        d->press = Private::Press::MaybeDrag; // a drag of the selection, or a click
    } else {
        setCaret(at);
        d->press = Private::Press::Select;
    }
    ensureCaretVisible();
}

void TextView::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseDoubleClickEvent(e);
        return;
    }
    d->lastMouse = e->position().toPoint();
    const qsizetype at = positionAt(d->lastMouse);
    const auto [from, to] = d->wordAt(at);
    d->unitStart = from;
    d->unitEnd = to;
    select(from, to);
    d->press = Private::Press::Words;
    d->tripleClickPoint = d->lastMouse;
    d->tripleClick.start(QApplication::doubleClickInterval(), this);
}

void TextView::mouseMoveEvent(QMouseEvent* e) {
    d->lastMouse = e->position().toPoint();
    if (!(e->buttons() & Qt::LeftButton) || d->press == Private::Press::None)
        return;
    if (d->press == Private::Press::MaybeDrag) {
        if ((d->lastMouse - d->pressPoint).manhattanLength() < QApplication::startDragDistance())
            return;
        d->press = Private::Press::None;
        // The selection dragged elsewhere: moved (or copied with Ctrl).
        auto* data = new QMimeData;
        data->setText(selectedText());
        auto* drag = new QDrag(this);
        drag->setMimeData(data);
        const qsizetype from = selectionStart(), to = selectionEnd();
        const quint64 revision = d->doc->revision();
        const Qt::DropAction done = drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::MoveAction);
        // Moved to another program: the text goes here (a drop into this view
        // moved it already).
        if (done == Qt::MoveAction && drag->target() != viewport() && drag->target() != this &&
            d->doc->revision() == revision)
            userEdit(this, d->doc, from, to - from, QString(), Document::EditKind::Other,
                     d->editing, d->editCaret);
        return;
    }
    const QRect area = viewport()->rect();
    if (!area.contains(d->lastMouse)) {
        if (!d->autoScroll.isActive())
            d->autoScroll.start(50, this);
    } else {
        d->autoScroll.stop();
    }
    const qsizetype at = positionAt(d->lastMouse);
    if (d->press == Private::Press::Select) {
        select(d->anchor, at);
    } else {
        // By words or lines, from the one first selected.
        const auto [from, to] = d->press == Private::Press::Words ? d->wordAt(at) : d->lineAt(at);
        if (at < d->unitStart)
            select(d->unitEnd, from);
        else
            select(d->unitStart, std::max(to, d->unitEnd));
    }
    ensureCaretVisible();
}

void TextView::mouseReleaseEvent(QMouseEvent* e) {
    d->autoScroll.stop();
    if (e->button() != Qt::LeftButton)
        return;
    if (d->press == Private::Press::MaybeDrag)
        setCaret(d->pressPosition); // a click into the selection
    d->press = Private::Press::None;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (hasSelection() && clipboard->supportsSelection())
        clipboard->setText(selectedText(), QClipboard::Selection);
}

void TextView::contextMenuEvent(QContextMenuEvent* e) {
    emit contextMenuRequested(e->globalPos());
    e->accept();
}

// --- drag and drop ---------------------------------------------------------------------

void TextView::dragEnterEvent(QDragEnterEvent* e) {
    if (!d->editable() || !e->mimeData()->hasText()) {
        e->ignore();
        return;
    }
    e->acceptProposedAction();
}

void TextView::dragMoveEvent(QDragMoveEvent* e) {
    if (!d->editable() || !e->mimeData()->hasText()) {
        e->ignore();
        return;
    }
    const qsizetype at = positionAt(e->position().toPoint());
    // A selection dropped into itself goes nowhere.
    if (e->source() == this && at > selectionStart() && at < selectionEnd()) {
        d->dropCaret.reset();
        e->ignore();
    } else {
        d->dropCaret = at;
        e->acceptProposedAction();
    }
    viewport()->update();
}

void TextView::dragLeaveEvent(QDragLeaveEvent*) {
    d->dropCaret.reset();
    viewport()->update();
}

void TextView::dropEvent(QDropEvent* e) {
    d->dropCaret.reset();
    viewport()->update();
    if (!d->editable() || !e->mimeData()->hasText()) {
        e->ignore();
        return;
    }
    const QString text = withLineFeeds(e->mimeData()->text());
    qsizetype at = positionAt(e->position().toPoint());
    const bool moveHere = e->source() == this && e->dropAction() == Qt::MoveAction;
    if (moveHere && at >= selectionStart() && at <= selectionEnd()) {
        e->ignore();
        return;
    }
    e->acceptProposedAction();
    if (moveHere) {
        // Taken away and put in as one step to undo.
        const qsizetype from = selectionStart(), to = selectionEnd();
        d->doc->beginEditGroup();
        d->doc->replace(from, to - from, QString());
        if (at > to)
            at -= to - from;
        d->doc->replace(at, 0, text);
        d->doc->endEditGroup();
    } else {
        d->doc->replace(at, 0, text);
    }
    select(at, at + text.size());
    ensureCaretVisible();
    activateWindow();
    setFocus(Qt::MouseFocusReason);
}

} // namespace ostrel::editor
