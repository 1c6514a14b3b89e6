#pragma once

#include <QFont>
#include <QObject>
#include <QStringList>
#include <QTextOption>
#include <memory>
#include <vector>

class QTextBlock;
class QTextDocument;
class QTextLayout;

namespace ostrel {

// The lines of a plain-text document as its editor lays them out, counted
// from 0. Without word wrap a line is a block (a paragraph). With word wrap
// every wrapped row is a line: rows are counted per block with a layout of
// our own at the editor's text width, font and text options (the editor only
// lays out the blocks it shows), kept per block, and recounted only for the
// blocks an edit touched, or for all of them when the width, the font or the
// wrap changes. Counting is lazy: the first query after a load or a change of
// width counts what it needs; later queries cost the same on any size of text.
class EditorLines : public QObject {
    Q_OBJECT

public:
    // Follows the document's edits; a child of the document.
    explicit EditorLines(QTextDocument* document);

    // The line that holds a position (the line of the end of a row that
    // wraps is the next row's).
    int lineFromPosition(int position);
    // The first position of a line; -1 when the line does not exist.
    int lineStart(int line);
    // How many lines the text has.
    int lineCount();

    // The width the editor lays the text out at (its viewport's width); until
    // it is given, the document's own text width.
    void setTextWidth(qreal width) { m_textWidth = width; }

private:
    // What the rows depend on besides the text.
    struct Setup {
        bool wraps = false;
        qreal width = 0; // available to the text of a row
        QFont font;
        QTextOption option;
        bool operator==(const Setup& other) const;
    };

public:
    // The lines as they are laid out at one moment, handed out one after
    // another, each without its line break; a last line that is empty (the
    // text ends with a line break) is left out. Later edits of the document
    // do not reach them. Wrapped rows are cut as they are handed out.
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
    // Lays out a block's text as the editor does.
    static void layOut(QTextLayout& layout, const QString& text, const Setup& setup);
    struct Chunk {
        std::vector<int> rows; // per block; -1 while not counted
        qint64 sum = 0;        // of the counted rows
        int dirty = 0;         // blocks not counted
    };
    static constexpr int kChunk = 512;

    Setup currentSetup() const;
    // Makes the table match the document; answers whether the text wraps.
    bool sync();
    void resetTable(int blocks);
    void contentsChange(int from, int removed, int added);
    void replaceEntries(int at, int removeCount, int insertCount);
    void splitChunk(size_t index);
    // Counts the rows of the blocks of a chunk that are not counted yet.
    void clean(size_t chunk, int base);
    int countRows(const QTextBlock& block) const;

    QTextDocument* m_doc;
    qreal m_textWidth = -1;
    Setup m_setup;
    bool m_tracking = false; // the table follows the document
    int m_size = 0;          // blocks in the table
    std::vector<Chunk> m_chunks;
};

} // namespace ostrel
