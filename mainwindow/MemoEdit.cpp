#include "MemoEdit.h"

#include "EditorLines.h"
#include "SoftBreaks.h"
#include "TextMirror.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QPlainTextDocumentLayout>
#include <QTextBlock>
#include <QTextLayout>
#include <QtMath>
#include <algorithm>
#include <limits>

namespace ostrel {

namespace {

// The editor's layout, which lays out a changed block as the plain-text
// layout does, without its search for the widest block: that search visits
// every block of the document (a hundred thousand blocks take tens of
// milliseconds, and the first time a layout object is made for each) and
// runs whenever the widest block gets narrower, as typing in it does now and
// then. What it is for, the width of the document for the horizontal scroll
// bar, is kept here as the widest block laid out since the text was given:
// it grows and does not shrink back.
class MemoLayout : public QPlainTextDocumentLayout {
public:
    MemoLayout(QTextDocument* document, QPlainTextEdit* view)
        : QPlainTextDocumentLayout(document), m_view(view) {}

    QRectF blockBoundingRect(const QTextBlock& block) const override {
        if (block.isValid() && block.layout()->lineCount() == 0)
            const_cast<MemoLayout*>(this)->layOutBlock(block);
        return QPlainTextDocumentLayout::blockBoundingRect(block);
    }

    QSizeF documentSize() const override {
        QSizeF size = QPlainTextDocumentLayout::documentSize();
        size.setWidth(std::max(size.width(), m_widest));
        return size;
    }

protected:
    void documentChanged(int from, int removed, int added) override {
        QTextDocument* doc = document();
        const QTextBlock first = doc->findBlock(from);
        const QTextBlock last = doc->findBlock(std::max(0, from + removed + added - 1));
        if (first == last && doc->blockCount() == m_blocks && first.isValid() && first.length()) {
            // A change inside one block, as the plain-text layout handles it.
            const qreal before = blockBoundingRect(first).height();
            layOutBlock(first);
            if (blockBoundingRect(first).height() == before)
                emit updateBlock(first);
            else
                emit update(QRectF(0., -doc->documentMargin(), 1000000000., 1000000000.));
            return;
        }
        if (from == 0 && added >= doc->characterCount())
            m_widest = 0; // a new text
        QPlainTextDocumentLayout::documentChanged(from, removed, added);
        m_blocks = doc->blockCount();
    }

private:
    void layOutBlock(const QTextBlock& block) {
        QTextDocument* doc = document();
        const qreal margin = doc->documentMargin();
        QTextLayout* layout = block.layout();
        const QTextOption option = doc->defaultTextOption();
        layout->setTextOption(option);
        int extraMargin = 0;
        if (option.flags() & QTextOption::AddSpaceForLineAndParagraphSeparators)
            extraMargin += QFontMetrics(block.charFormat().font()).horizontalAdvance(QChar(0x21B5));
        // The editor lays its text out at its viewport's width.
        qreal available = m_view->viewport()->width();
        if (available <= 0)
            available = qreal(INT_MAX);
        available -= 2 * margin + extraMargin;
        qreal height = 0;
        qreal widest = 0;
        layout->beginLayout();
        for (;;) {
            QTextLine line = layout->createLine();
            if (!line.isValid())
                break;
            line.setLeadingIncluded(true);
            line.setLineWidth(available);
            line.setPosition(QPointF(margin, height));
            height += line.height();
            if (line.leading() < 0)
                height += qCeil(line.leading());
            widest = std::max(widest, line.naturalTextWidth() + 2 * margin);
        }
        layout->endLayout();
        const int linesBefore = doc->lineCount();
        const_cast<QTextBlock&>(block).setLineCount(block.isVisible() ? layout->lineCount() : 0);
        bool sizeChanged = doc->lineCount() != linesBefore;
        if (widest > m_widest) {
            m_widest = widest;
            sizeChanged = true;
        }
        if (sizeChanged)
            emit documentSizeChanged(documentSize());
    }

    QPlainTextEdit* m_view;
    int m_blocks = 1; // as the plain-text layout last counted them
    qreal m_widest = 0;
};

} // namespace

class MemoEdit::UserEdit {
public:
    UserEdit(MemoEdit* edit, bool newLinesAreHard) : m_edit(edit) {
        if (m_edit->m_depth++ > 0)
            return;
        m_edit->m_changes.clear();
        m_edit->m_startBefore = m_edit->textCursor().selectionStart();
        m_edit->m_newLinesAreHard = newLinesAreHard;
    }
    ~UserEdit() {
        if (--m_edit->m_depth == 0)
            m_edit->tidy();
    }
    UserEdit(const UserEdit&) = delete;
    UserEdit& operator=(const UserEdit&) = delete;

private:
    MemoEdit* m_edit;
};

MemoEdit::MemoEdit(QWidget* parent) : QPlainTextEdit(parent) {
    auto* doc = new QTextDocument(this);
    doc->setDocumentLayout(new MemoLayout(doc, this));
    setDocument(doc);
    doc->setDefaultFont(font());
    connect(document(), &QTextDocument::contentsChange, this, [this](int from, int, int added) {
        if (m_depth > 0)
            m_changes.push_back({from, added});
    });
}

void MemoEdit::setRecordText(const QString& text) {
    ++m_loads;
    std::vector<qsizetype> cuts = softBreakPositions(text);
    std::vector<int> continuations;
    continuations.reserve(cuts.size());
    for (size_t i = 0; i < cuts.size(); ++i) // each soft break before it adds one
        continuations.push_back(int(cuts[i] + qsizetype(i) + 1));
    const QString pieces = withBreaksAt(text, cuts);
    QTextDocument* doc = document();
    TextMirror::of(doc)->reset(text, std::move(cuts), [&] {
        setMayHaveSoftBreaks(doc, !continuations.empty());
        setPlainText(pieces);
        markContinuations(doc, continuations);
    });
    // The line display will ask for lines anywhere in the text: they are
    // counted from now on, on another thread.
    if (auto* lines = doc->findChild<EditorLines*>(QString(), Qt::FindDirectChildrenOnly)) {
        lines->setTextWidth(viewport()->width());
        lines->countAhead();
    }
}

void MemoEdit::runUserEdit(const std::function<void()>& edit) {
    const UserEdit guard(this, false);
    edit();
}

qsizetype MemoEdit::textLength() {
    if (!mayHaveSoftBreaks(document()))
        return document()->characterCount() - 1;
    return TextMirror::of(document())->length();
}

qsizetype MemoEdit::textPosition(int documentPosition) {
    if (!mayHaveSoftBreaks(document()))
        return documentPosition;
    return TextMirror::of(document())->toText(documentPosition);
}

int MemoEdit::documentPosition(qsizetype textPosition, bool afterSoftBreaks) {
    if (!mayHaveSoftBreaks(document()))
        return int(textPosition);
    return int(TextMirror::of(document())->toDocument(textPosition, afterSoftBreaks));
}

void MemoEdit::stepOverSoftBreak(const QKeyEvent* event) {
    QTextCursor cursor = textCursor();
    const bool afterBreak = cursor.atBlockStart() && continuesLine(cursor.block());
    const bool beforeBreak = cursor.atBlockEnd() && continuesLine(cursor.block().next());
    if (!afterBreak && !beforeBreak)
        return;
    using K = QKeySequence;
    const bool selects = event->matches(K::SelectPreviousChar) ||
                         event->matches(K::SelectNextChar) ||
                         event->matches(K::SelectPreviousWord) || event->matches(K::SelectNextWord);
    // A deletion takes the selection, a move without Shift drops it.
    if (cursor.hasSelection() && !selects)
        return;
    const auto mode = selects ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor;
    if (afterBreak) {
        const bool backspace = event->key() == Qt::Key_Backspace &&
                               !(event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier));
        const bool backward =
            selects
                ? event->matches(K::SelectPreviousChar) || event->matches(K::SelectPreviousWord)
                : event->matches(K::MoveToPreviousChar) || event->matches(K::MoveToPreviousWord) ||
                      backspace || event->matches(K::DeleteStartOfWord);
        if (!backward)
            return;
        cursor.setPosition(cursor.position() - 1, mode);
    } else {
        const bool forward =
            selects ? event->matches(K::SelectNextChar) || event->matches(K::SelectNextWord)
                    : event->matches(K::MoveToNextChar) || event->matches(K::MoveToNextWord) ||
                          event->matches(K::Delete) || event->matches(K::DeleteEndOfWord);
        if (!forward)
            return;
        cursor.setPosition(cursor.position() + 1, mode);
    }
    setTextCursor(cursor);
}

void MemoEdit::keyPressEvent(QKeyEvent* event) {
    // Undo and redo bring back the blocks as they were, soft breaks included.
    if (event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo)) {
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    if (mayHaveSoftBreaks(document()))
        stepOverSoftBreak(event);
    const UserEdit edit(this, event->matches(QKeySequence::InsertParagraphSeparator));
    QPlainTextEdit::keyPressEvent(event);
}

void MemoEdit::inputMethodEvent(QInputMethodEvent* event) {
    const UserEdit edit(this, true);
    QPlainTextEdit::inputMethodEvent(event);
}

void MemoEdit::insertFromMimeData(const QMimeData* source) {
    // The pasted lines start blocks that do not continue a line.
    const UserEdit edit(this, false);
    QPlainTextEdit::insertFromMimeData(source);
}

void MemoEdit::dropEvent(QDropEvent* event) {
    const UserEdit edit(this, false);
    QPlainTextEdit::dropEvent(event);
}

QMimeData* MemoEdit::createMimeDataFromSelection() const {
    if (!mayHaveSoftBreaks(document()))
        return QPlainTextEdit::createMimeDataFromSelection();
    // As the editor copies text, without the soft breaks.
    const QTextCursor cursor = textCursor();
    const QString selected = cursor.selectedText();
    QString text;
    text.reserve(selected.size());
    QTextBlock block = document()->findBlock(cursor.selectionStart());
    for (QChar c : selected) {
        switch (c.unicode()) {
        case QChar::ParagraphSeparator:
            block = block.next();
            if (!continuesLine(block))
                text += u'\n';
            break;
        case QChar::LineSeparator:
            text += u'\n';
            break;
        case QChar::Nbsp:
            text += u' ';
            break;
        default:
            text += c;
        }
    }
    auto* data = new QMimeData;
    data->setText(text);
    return data;
}

void MemoEdit::tidy() {
    if (m_changes.empty())
        return;
    QTextDocument* doc = document();
    int from = std::numeric_limits<int>::max();
    int to = 0;
    for (const Change& c : m_changes) {
        from = std::min(from, c.from);
        to = std::max(to, c.from + c.added);
    }
    const int last = doc->characterCount() - 1;
    from = std::clamp(from, 0, last);
    to = std::clamp(to, from, last);
    // The changes join the user's edit as one step to undo, and only when
    // there is something to change.
    QTextCursor edit(doc);
    bool open = false;
    const auto begin = [&] {
        if (!open)
            edit.joinPreviousEditBlock();
        open = true;
    };
    // Markers that follow the changes made here.
    QTextCursor start(doc), end(doc);
    start.setPosition(from);
    end.setPosition(to);
    if (m_newLinesAreHard && mayHaveSoftBreaks(doc))
        unmarkNewLines(edit, begin);
    cutLongPieces(edit, begin, start.position(), end.position());
    if (mayHaveSoftBreaks(doc))
        dropEmptyPieces(edit, begin, start.position(), end.position());
    if (open)
        edit.endEditBlock();
}

void MemoEdit::unmarkNewLines(QTextCursor& edit, const std::function<void()>& begin) {
    // The blocks after the one the edit began in, up to the caret's, follow
    // the line breaks it typed. They took the format of the block they were
    // cut from, which may have continued a line.
    QTextDocument* doc = document();
    const int lastNew = textCursor().blockNumber();
    for (QTextBlock b = doc->findBlock(m_startBefore).next();
         b.isValid() && b.blockNumber() <= lastNew; b = b.next()) {
        if (!continuesLine(b))
            continue;
        begin();
        QTextBlockFormat format = b.blockFormat();
        format.clearProperty(kContinuesLine);
        edit.setPosition(b.position());
        edit.setBlockFormat(format);
    }
}

void MemoEdit::cutLongPieces(QTextCursor& edit, const std::function<void()>& begin, int from,
                             int to) {
    QTextDocument* doc = document();
    std::vector<QTextCursor> longOnes; // at their starts
    const QTextBlock last = doc->findBlock(to);
    for (QTextBlock b = doc->findBlock(from); b.isValid(); b = b.next()) {
        if (b.length() - 1 > 2 * kLongLine) {
            longOnes.emplace_back(doc);
            longOnes.back().setPosition(b.position());
        }
        if (b == last)
            break;
    }
    if (longOnes.empty())
        return;
    begin();
    setMayHaveSoftBreaks(doc, true);
    QTextBlockFormat mark;
    mark.setProperty(kContinuesLine, true);
    for (const QTextCursor& at : longOnes) {
        const QTextBlock block = at.block();
        const std::vector<qsizetype> cuts = softBreakPositions(block.text());
        // From the end, so that the places before stay where they are.
        for (auto cut = cuts.rbegin(); cut != cuts.rend(); ++cut) {
            edit.setPosition(block.position() + int(*cut));
            QTextBlockFormat format = edit.blockFormat();
            format.merge(mark);
            edit.insertBlock(format);
        }
    }
}

void MemoEdit::dropEmptyPieces(QTextCursor& edit, const std::function<void()>& begin, int from,
                               int to) {
    // An empty piece would show as a line of its own. Its soft break goes:
    // the one before it when it continues a line, else its own.
    QTextDocument* doc = document();
    QTextCursor stop(doc);
    stop.setPosition(to);
    QTextBlock b = doc->findBlock(from);
    if (b.previous().isValid())
        b = b.previous();
    while (b.isValid()) {
        const QTextBlock next = b.next();
        const bool continues = b.position() > 0 && continuesLine(b);
        if (b.length() == 1 && (continues || (next.isValid() && continuesLine(next)))) {
            // The joined block starts where the line of the first of the two
            // did; which block's format the document keeps is its own choice.
            const bool joinedContinues = continues && continuesLine(b.previous());
            begin();
            edit.setPosition(continues ? b.position() - 1 : b.position());
            edit.deleteChar();
            b = doc->findBlock(edit.position());
            if (continuesLine(b) != joinedContinues) {
                QTextBlockFormat format = b.blockFormat();
                if (joinedContinues)
                    format.setProperty(kContinuesLine, true);
                else
                    format.clearProperty(kContinuesLine);
                edit.setBlockFormat(format);
            }
            continue;
        }
        // Up to the block after the changed ones.
        const QTextBlock after = stop.block().next();
        if (b.blockNumber() >= (after.isValid() ? after : stop.block()).blockNumber())
            break;
        b = next;
    }
}

} // namespace ostrel
