#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <vector>

class QTextDocument;

namespace ostrel {

// A copy of a document's text in pieces, kept in step with every edit (an
// edit touches one or two pieces), so that a search or a save runs over the
// text in memory without first gathering it from the document. Positions are
// the document's: one separator between blocks.
class TextMirror : public QObject {
    Q_OBJECT

public:
    // Follows the document's edits; a child of the document.
    explicit TextMirror(QTextDocument* document);

    // The document's mirror, made when first asked for.
    static TextMirror* of(QTextDocument* document);

    // `give` gives the document `text` whole (lines separated by "\n", or by
    // any character the document takes as a block separator). Meanwhile the
    // copy is made from `text` on another thread, instead of being gathered
    // from the document afterwards.
    void reset(const QString& text, const std::function<void()>& give);

    // The whole text as consecutive parts, as the document's raw text has it
    // (blocks separated by U+2029), without the document's last separator.
    // Valid until the next edit.
    std::vector<QStringView> text();

    // Whether every change and every use compares the copy with the whole
    // document, stopping the program on the first difference (on in the
    // test runs, which set OSTREL_CHECK_MIRROR=1).
    static bool checkedExactly();
    static void setCheckedExactly(bool on);

    // The first position at or after `from` where `what` occurs, case
    // matched; -1 when there is none.
    qsizetype indexOf(const QString& what, qsizetype from);

private:
    void contentsChange(int from, int removed, int added);
    void remove(qsizetype from, qsizetype count);
    void insert(qsizetype at, const QString& text);
    void rebuild();
    void ensureInStep();
    bool agreesWithDocument() const;
    void checkAgainstDocument() const;
    static std::vector<QString> cut(const QString& whole);
    void adopt(std::vector<QString> pieces, qsizetype length);
    // The piece holding a position and the position's offset in it.
    std::pair<size_t, qsizetype> locate(qsizetype position) const;

    QTextDocument* m_doc;
    std::vector<QString> m_pieces; // the whole document, its last separator included
    qsizetype m_length = 0;
    // Set after a load or another large change: the copy is made afresh at
    // the next search instead of on every such change.
    bool m_stale = true;
};

} // namespace ostrel
