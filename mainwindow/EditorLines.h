#pragma once

#include <QFont>
#include <QObject>
#include <QStringList>
#include <QTextOption>
#include <atomic>
#include <memory>
#include <optional>
#include <vector>

class QTextBlock;
class QTextDocument;
class QTextLayout;
class QThread;

namespace ostrel {

// The lines of a plain-text document as its editor lays them out, counted
// from 0. Without word wrap a line is a line of the text: a block, or several
// blocks joined by soft breaks (SoftBreaks.h). With word wrap every wrapped
// row is a line: rows are counted per block with a layout of our own at the
// editor's text width, font and text options (the editor only lays out the
// blocks it shows), kept per block, and recounted only for the blocks an edit
// touched, or for all of them when the width, the font or the wrap changes.
//
// A question that needs more counting than a moment's is not answered at
// once: the rows are counted on another thread, over a copy of the text
// (TextMirror), and `counted` tells when to ask again. Edits made meanwhile
// are followed: the counts of blocks they touched are not taken from the copy.
class EditorLines : public QObject {
    Q_OBJECT

public:
    // Follows the document's edits; a child of the document.
    explicit EditorLines(QTextDocument* document);
    ~EditorLines() override;

    // The line that holds a position (the line of the end of a row that
    // wraps is the next row's). Nothing while the lines before it are counted.
    std::optional<int> lineFromPosition(int position);
    // The first position of a line; -1 when the line does not exist. Nothing
    // while the lines before it are counted.
    std::optional<int> lineStart(int line);
    // How many lines the text has; nothing while they are counted.
    std::optional<int> lineCount();

    // The width the editor lays the text out at (its viewport's width); until
    // it is given, the document's own text width.
    void setTextWidth(qreal width) { m_textWidth = width; }

    // Starts counting all lines on the other thread, ahead of the questions
    // (as after a load: the line display will ask).
    void countAhead();

    // Whether lines are being counted on the other thread.
    bool counting() const;

signals:
    // More lines are counted: a question that had no answer may have one now.
    void counted();

public:
    // What the lines depend on besides the text.
    struct Setup {
        bool wraps = false;
        bool softBreaks = false; // the document may join blocks into lines
        qreal width = 0;         // available to the text of a row
        QFont font;
        QTextOption option;
        bool operator==(const Setup& other) const;
        // Without either, lines are blocks and nothing needs counting.
        bool counts() const { return wraps || softBreaks; }
    };

    // The lines as they are laid out at one moment, handed out one after
    // another, each without its line break; a last line that is empty (the
    // text ends with a line break) is left out. A line held in pieces is one
    // line, its rows cut from it whole as if it were one block. Later edits
    // of the document do not reach them. Wrapped rows are cut as they are
    // handed out.
    class Snapshot {
    public:
        Snapshot();
        Snapshot(Snapshot&&) noexcept;
        Snapshot& operator=(Snapshot&&) noexcept;
        ~Snapshot();
        bool next(QString& line);

    private:
        friend class EditorLines;
        QStringList m_blocks;
        qsizetype m_block = 0;
        Setup m_setup;
        // The block being cut into rows, a row at a time: a block of a
        // million characters takes seconds to lay out whole.
        QString m_text;
        std::unique_ptr<QTextLayout> m_layout;
        int m_rows = 0; // handed out of that block so far
    };
    // The lines of a document laid out at a text width (see setTextWidth).
    static Snapshot snapshot(const QTextDocument* document, qreal textWidth);

private:
    static Setup setupOf(const QTextDocument* document, qreal textWidth);
    struct Chunk {
        // Per block; -1 while not counted. Empty while no block is counted,
        // so that a table for a million blocks is made at once.
        std::vector<int> lines;
        int size = 0;   // blocks
        qint64 sum = 0; // of the counted lines
        int dirty = 0;  // blocks not counted
        int at(int i) const { return lines.empty() ? -1 : lines[size_t(i)]; }
        std::vector<int>& counts() {
            if (lines.empty())
                lines.assign(size_t(size), -1);
            return lines;
        }
    };
    // An edit to the table while a count runs, so that its results can be
    // placed: `removed` entries at `at` were replaced by `inserted` ones.
    struct Edit {
        quint64 version;
        int at;
        int removed;
        int inserted;
    };
    struct Job;
    static constexpr int kChunk = 512;

    Setup currentSetup() const;
    // Makes the table match the document; answers whether lines are counted.
    bool sync();
    void resetTable(int blocks);
    void contentsChange(int from, int removed, int added);
    // The table no longer follows the document; made afresh when next asked.
    void untrack();
    void replaceEntries(int at, int removeCount, int insertCount);
    void splitChunk(size_t index);
    // Counts the blocks before `end`, here when that is quick, else on the
    // other thread; answers whether they are all counted.
    bool ensureCounted(int end);
    bool countHere(int end);
    int lineCountOf(const QTextBlock& block) const;
    void startJob();
    void stopJob();
    void takeResults(int generation, quint64 version, int first, const std::vector<int>& lines,
                     bool finished);
    qint64 linesBefore(int block) const;

    QTextDocument* m_doc;
    qreal m_textWidth = -1;
    Setup m_setup;
    bool m_tracking = false; // the table follows the document
    int m_size = 0;          // blocks in the table
    std::vector<Chunk> m_chunks;
    int m_generation = 0; // of the table: a new one at every reset
    quint64 m_version = 0;
    std::vector<Edit> m_edits; // since the running count's copy was made
    std::unique_ptr<Job> m_job;
};

} // namespace ostrel
