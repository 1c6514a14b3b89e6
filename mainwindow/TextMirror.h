#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <vector>

class QTextDocument;

namespace ostrel {

// A copy of a document's text in pieces, kept in step with every edit (an
// edit touches one or two pieces), so that a search, a save or a count in
// the background runs over the text in memory without first gathering it
// from the document. The copy is the record's text: the soft breaks that cut
// long lines into several blocks (SoftBreaks.h) are left out of it and kept
// as a list of the text positions they stand at. Line breaks are U+2029.
class TextMirror : public QObject {
    Q_OBJECT

public:
    // Follows the document's edits; a child of the document.
    explicit TextMirror(QTextDocument* document);

    // The document's mirror, made when first asked for.
    static TextMirror* of(QTextDocument* document);

    // `give` gives the document `text` (lines separated by "\n", or by any
    // character the document takes as a block separator), with soft breaks
    // at `softBreaks` (ascending text positions). Meanwhile the copy is made
    // from `text` on another thread, instead of being gathered from the
    // document afterwards.
    void reset(const QString& text, std::vector<qsizetype> softBreaks,
               const std::function<void()>& give);

    // The whole text as consecutive parts, as the document's raw text has it
    // (lines separated by U+2029) without the soft breaks and without the
    // document's last separator. Valid until the next edit.
    std::vector<QStringView> text();

    // The length of the text (without the soft breaks).
    qsizetype length();

    // Whether every change and every use compares the copy with the whole
    // document, stopping the program on the first difference (on in the
    // test runs, which set OSTREL_CHECK_MIRROR=1). The text compared is the
    // document's with its soft breaks left out, and the soft breaks too.
    static bool checkedExactly();
    static void setCheckedExactly(bool on);

    // The first text position at or after `from` where `what` occurs, case
    // matched; -1 when there is none.
    qsizetype indexOf(const QString& what, qsizetype from);

    // The text position of a document position.
    qsizetype toText(qsizetype documentPosition);
    // The document position of a text position; where soft breaks stand at
    // that place, after them (the start of the next block) or before them.
    qsizetype toDocument(qsizetype textPosition, bool afterSoftBreaks = true);

    // The text and its soft breaks as they are now, shared (copied only
    // where the mirror later changes), for reading on another thread.
    struct Snapshot {
        std::vector<QString> pieces; // the text, its last separator included
        std::vector<qsizetype> softBreaks;
    };
    Snapshot snapshot();

    // Pieces that hold a text and its last separator, as the text alone
    // (what text() answers; for a snapshot's pieces too).
    static std::vector<QStringView> withoutLastSeparator(const std::vector<QString>& pieces);

private:
    void contentsChange(int from, int removed, int added);
    void remove(qsizetype from, qsizetype count);
    void insert(qsizetype at, const QString& text);
    void rebuild();
    // The document's text without its soft breaks, and where they stood.
    QString textOfDocument(std::vector<qsizetype>& softBreaks) const;
    void ensureInStep();
    bool agreesWithDocument() const;
    void checkAgainstDocument() const;
    static std::vector<QString> cut(const QString& whole);
    void adopt(std::vector<QString> pieces, qsizetype length, std::vector<qsizetype> softBreaks);
    // The piece holding a text position and the position's offset in it.
    std::pair<size_t, qsizetype> locate(qsizetype position) const;
    // How many soft breaks stand before a document position.
    size_t softBreaksBefore(qsizetype documentPosition) const;
    qsizetype documentPosition(qsizetype textPosition, bool afterSoftBreaks) const;

    QTextDocument* m_doc;
    std::vector<QString> m_pieces; // the whole text, the document's last separator included
    qsizetype m_length = 0;
    std::vector<qsizetype> m_soft;  // ascending text positions of the soft breaks
    mutable size_t m_hintPiece = 0; // the piece `locate` found last
    mutable qsizetype m_hintBase = 0;
    // Set while the document is given a text, and should the copy ever be
    // found out of step: the copy is then made afresh when next needed.
    bool m_stale = true;
};

} // namespace ostrel
