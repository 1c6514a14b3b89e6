#pragma once

#include "editor/internal/RowBreaker.h"

#include <QObject>
#include <QPointer>
#include <atomic>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace ostrel::editor {
class Document;
class Lines;
} // namespace ostrel::editor

namespace ostrel::editor::internal {

class TextBuffer;

// What Lines answers from, on the window's thread: the rows of every line,
// kept in the document's buffer (one number per line), counted on up to two
// threads after a new text or setup, and at once for the lines an edit
// touched. Long lines keep where their rows start (or, without wrap, where
// their pieces stand), followed through edits.
class RowCounter : public QObject {
public:
    explicit RowCounter(Lines* lines);
    ~RowCounter() override;

    Document* document() const { return m_document; }
    void setDocument(Document* document);
    const WrapSetup& setup() const { return m_setup; }
    void setSetup(const WrapSetup& setup);

    // --- Lines' questions
    std::optional<qsizetype> lineOf(qsizetype position);
    std::optional<qsizetype> lineStart(qsizetype row);
    std::optional<qsizetype> lineCount();
    bool counting() const { return !m_workers.empty() || m_passWanted; }

    // --- the view's geometry. Line numbers here are the text's.
    // The rows of a line (counted now when not yet).
    qint64 rowsOfLine(qsizetype line);
    // Where each row of a line starts, from the line's start (the first 0).
    const std::vector<qsizetype>& rowStarts(qsizetype line);
    // The row of a line that holds an offset in it.
    qint64 rowInLine(qsizetype line, qsizetype offset);
    // Rows before a line, those not counted taken for one each.
    qint64 estimatedRowsBefore(qsizetype line) const;
    qint64 estimatedTotalRows() const;
    qsizetype lineAtEstimatedRow(qint64 row, qint64* rowInLine) const;
    // Without wrap: the widest line measured (1/64 pixel), and the x of an
    // offset in a line.
    qint64 widest() const { return m_widest; }
    void widen(qint64 width) { m_widest = std::max(m_widest, width); }
    qint64 xAt(qsizetype line, qsizetype offset);
    // Without wrap: where a long line's pieces start, each at a character
    // start, and their x (a piece is laid out on its own).
    struct Piece {
        qsizetype offset;
        qint64 x;
    };
    static constexpr qsizetype kPiece = 1024;
    // The piece of a long line that holds an offset, or the x.
    Piece pieceAt(qsizetype line, qsizetype offset);
    Piece pieceAtX(qsizetype line, qint64 x);
    qsizetype pieceEnd(qsizetype line, const Piece& piece);

private:
    struct Pass;
    struct BlockResult;
    struct LongLine;

    TextBuffer& buffer() const;
    void reset();
    void changed(qsizetype position, qsizetype removed, qsizetype added);
    void schedulePass();
    void startPass();
    void stopPass();
    void take(quint64 pass, std::vector<BlockResult> results);
    void workerDone(quint64 pass);
    // Counts the rows of the given lines here and now.
    void countHere(qsizetype first, qsizetype last);
    // The rows of a line; `provisional` is set when they are a long line's
    // rows still being counted (their number is not known yet).
    qint64 countLine(qsizetype line, bool* provisional = nullptr);
    LongLine* longLine(qsizetype line);
    void followEdit(qsizetype position, qsizetype removed, qsizetype added);
    // Where the rows of a line start, wrapped on from the last of `starts`
    // (a row start known to stay), taking the old line's rows (`old`, moved
    // by `delta` at the edit) back once a row starts after the edit's end
    // where one started before. Wraps no further than kRewrapAhead past the
    // edit: the old rows after that stand in, moved, until the counting
    // threads have the line; `exactTo` is then the last row start known.
    std::vector<qsizetype> rewrap(qsizetype start, qsizetype length, std::vector<qsizetype> starts,
                                  const LongLine& old, qsizetype delta, qsizetype editEnd,
                                  qsizetype* exactTo) const;
    // The rows that long lines still being counted add to the estimates
    // (the buffer takes each for one row), before a line.
    qint64 provisionalRowsBefore(qsizetype line) const;
    void keep(std::unique_ptr<LongLine> line);
    void extendPieces(LongLine& long_, qsizetype upTo);

    Lines* m_lines;
    QPointer<Document> m_document;
    WrapSetup m_setup;
    qint64 m_widest = 0;
    quint64 m_passNumber = 0;
    bool m_passWanted = false;
    std::shared_ptr<std::atomic<bool>> m_stop;
    std::vector<std::thread> m_workers;
    int m_workersRunning = 0;
    quint64 m_passRevision = 0; // of the text the last pass counted
    std::vector<std::unique_ptr<LongLine>> m_longLines;
    quint64 m_clock = 0; // when a long line was last used
    std::vector<qsizetype> m_scratchStarts;
    QMetaObject::Connection m_resetConnection, m_changeConnection, m_finishConnection;
};

} // namespace ostrel::editor::internal
