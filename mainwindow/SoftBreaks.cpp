#include "SoftBreaks.h"

#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

namespace ostrel {

namespace {

const char* const kSoftBreaksProperty = "ostrelSoftBreaks";

bool endsBlock(char16_t u) {
    return u == u'\n' || u == u'\r' || u == QChar::ParagraphSeparator || u == 0xFDD0 || u == 0xFDD1;
}

// The last boundary of the finder's kind in (low, high], or -1. The finder
// reads a little around the range so that a boundary is told from context.
qsizetype lastBoundary(QStringView line, QTextBoundaryFinder::BoundaryType type, qsizetype low,
                       qsizetype high) {
    constexpr qsizetype kContext = 8;
    const qsizetype from = std::max<qsizetype>(0, low - kContext);
    const qsizetype to = std::min(line.size(), high + kContext);
    QTextBoundaryFinder finder(type, line.constData() + from, qsizetype(to - from));
    finder.setPosition(high - from);
    const qsizetype at = finder.isAtBoundary() ? finder.position() : finder.toPreviousBoundary();
    // The window's own start is a boundary only because the window starts there.
    return at > 0 && from + at > low ? from + at : -1;
}

// Where to end the piece of `line` that starts at `start`, at most `longest`
// characters on.
qsizetype pieceEnd(QStringView line, qsizetype start, qsizetype longest) {
    const qsizetype high = start + longest;
    // A place where the line may wrap, looked for near the end first (one
    // search over the whole second half costs more than most of them need).
    for (qsizetype reach : {longest / 8, longest / 2}) {
        const qsizetype at = lastBoundary(line, QTextBoundaryFinder::Line, high - reach, high);
        if (at > start)
            return at;
    }
    const qsizetype at = lastBoundary(line, QTextBoundaryFinder::Grapheme, high - 32, high);
    if (at > start)
        return at;
    // A cluster longer than that: at least keep a surrogate pair whole.
    return QChar::isLowSurrogate(line[high].unicode()) ? high - 1 : high;
}

} // namespace

bool continuesLine(const QTextBlock& block) {
    return block.blockFormat().boolProperty(kContinuesLine);
}

std::vector<qsizetype> softBreakPositions(QStringView text, qsizetype longest) {
    std::vector<qsizetype> cuts;
    longest = std::max<qsizetype>(longest, 64);
    const qsizetype size = text.size();
    qsizetype lineStart = 0;
    while (lineStart < size) {
        // Lines end at "\n" in a loaded text; the other ends are looked for
        // only in the rare stretch long enough to be cut.
        qsizetype next = text.indexOf(u'\n', lineStart);
        if (next < 0)
            next = size;
        if (next - lineStart <= longest) {
            lineStart = next + 1;
            continue;
        }
        qsizetype lineEnd = lineStart;
        while (lineEnd < next && !endsBlock(text[lineEnd].unicode()))
            ++lineEnd;
        if (lineEnd - lineStart > longest) {
            const QStringView line = text.sliced(lineStart, lineEnd - lineStart);
            qsizetype start = 0;
            while (line.size() - start > longest) {
                start = pieceEnd(line, start, longest);
                cuts.push_back(lineStart + start);
            }
        }
        lineStart = lineEnd + 1;
    }
    return cuts;
}

QString withBreaksAt(const QString& text, const std::vector<qsizetype>& positions) {
    if (positions.empty())
        return text;
    QString out;
    out.reserve(text.size() + qsizetype(positions.size()));
    qsizetype done = 0;
    for (qsizetype at : positions) {
        out += QStringView(text).sliced(done, at - done);
        out += u'\n';
        done = at;
    }
    out += QStringView(text).sliced(done);
    return out;
}

void markContinuations(QTextDocument* document, const std::vector<int>& blockStarts) {
    if (blockStarts.empty())
        return;
    const bool undo = document->isUndoRedoEnabled();
    document->setUndoRedoEnabled(false);
    QTextBlockFormat mark;
    mark.setProperty(kContinuesLine, true);
    // One edit block: the layout and the document's followers hear of one
    // change instead of one per block.
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    for (int at : blockStarts) {
        cursor.setPosition(at);
        cursor.mergeBlockFormat(mark);
    }
    cursor.endEditBlock();
    document->setUndoRedoEnabled(undo);
}

bool mayHaveSoftBreaks(const QTextDocument* document) {
    return document->property(kSoftBreaksProperty).toBool();
}

void setMayHaveSoftBreaks(QTextDocument* document, bool may) {
    document->setProperty(kSoftBreaksProperty, may);
}

} // namespace ostrel
