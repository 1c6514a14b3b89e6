#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

// Finding the lines of a text that hold a string, as the search through all
// records finds them: the text is compared folded (ASCII letters in one case,
// the full-width forms of letters and digits as ASCII, half-width katakana as
// full-width ones), unless the options make the comparison exact.
namespace ostrel {

// How the search compares. By default neither the case of letters nor the
// width of letters, digits and katakana counts.
struct MatchOptions {
    bool matchCase = false;  // "ABC" and "abc" differ (also "ＡＢＣ" and "ａｂｃ")
    bool matchWidth = false; // "ＡＢＣ" and "ABC", "ｶﾞ" and "ガ" differ

    bool operator==(const MatchOptions&) const = default;
};

// A text folded as the options say: every character that matches another is
// replaced by one form of the two (a half-width katakana with its voiced or
// semi-voiced mark by the one full-width character), and every line break
// ("\r\n" as one) by "\n".
QString foldForMatching(QStringView text, MatchOptions options);

// Whether a part of a text matches the string exactly as a search would find
// it there.
bool matchesAt(QStringView text, QStringView what, MatchOptions options);

// A text held in consecutive pieces shared with its owner (as the editor
// hands its text to other threads without copying it): the first `length`
// units of the pieces together.
struct SharedText {
    std::vector<QString> pieces;
    qsizetype length = 0;

    std::vector<QStringView> parts() const;
};

// A line that holds the string, as a search result shows it.
struct LineMatch {
    qint64 line = 0;     // counted from 0
    qint64 position = 0; // the text position of the line's first match
    qint64 length = 0;   // that match's length in the text
    // The line, or the part of it around its first match for a long line
    // (cutBefore, cutAfter say where it was cut).
    QString excerpt;
    bool cutBefore = false;
    bool cutAfter = false;
    // Every match that lies in the excerpt: its start there and its length.
    std::vector<std::pair<qint32, qint32>> marks;
};

// Lines are told to the search's receiver as they are found, in order.
using LineReceiver = std::function<void(LineMatch&&)>;

// The search for one string, reading texts piece by piece. A text's position
// is its offset in the text as the editor holds it: every line break, "\r\n"
// included, is one character. "\n", "\r" and "\r\n" end lines.
//
// It holds a few buffers of its own (about a hundred kilobytes), reused from
// text to text, so that a thread can search many texts with one of these:
// nothing is allocated for a line that does not match, and however long the
// text, only a piece of it is held at once.
class LineSearch {
public:
    LineSearch(QStringView what, MatchOptions options);
    ~LineSearch();
    LineSearch(const LineSearch&) = delete;
    LineSearch& operator=(const LineSearch&) = delete;

    // Whether the string can be found at all (it is neither empty nor holds a
    // line break).
    bool searchable() const;

    // Stops the text being read when the flag is set (checked piece by piece).
    void setCancelFlag(const std::atomic<bool>* cancelled) { m_cancelled = cancelled; }
    bool cancelled() const;

    // Searches a text given whole or in consecutive pieces.
    void searchText(QStringView text, const LineReceiver& receiver);
    void searchText(const std::vector<QStringView>& pieces, const LineReceiver& receiver);
    void searchText(const SharedText& text, const LineReceiver& receiver) {
        searchText(text.parts(), receiver);
    }

    // Searches the content of a file read as the record loader reads it
    // (decodeText): its byte-order mark, else UTF-8, else Shift-JIS. Answers
    // false when it was cancelled.
    bool searchFile(QByteArrayView bytes, const LineReceiver& receiver);

    // A text read piece by piece: begin(), add() for each piece, finish().
    void begin(const LineReceiver* receiver);
    void add(QStringView piece);
    void finish();

private:
    void addUnits(const char16_t* in, qsizetype n, bool last);
    void pieceMade();
    void scan(bool final);
    void report(qsizetype k, qsizetype n, qsizetype m);
    void flush();
    qsizetype textIndex(qsizetype folded) const;
    bool searchUtf8(QByteArrayView body);
    bool searchShiftJis(QByteArrayView body);
    bool searchUtf16(QByteArrayView body, bool bigEndian);

    struct Buffers;
    std::unique_ptr<Buffers> m_buf;
    QString m_what; // folded
    MatchOptions m_options;
    qsizetype m_anchor = 0; // the unit of m_what that is looked for first
    const std::atomic<bool>* m_cancelled = nullptr;

    // The text being read: the part of it in the buffers, as read (every
    // line break one unit) and folded.
    const LineReceiver* m_receiver = nullptr;
    qsizetype m_textUsed = 0;
    qsizetype m_foldedUsed = 0;
    char16_t m_pending = 0; // a unit waiting for the one after it
    bool m_hasPending = false;
    qsizetype m_searchFrom = 0; // folded units at the start already searched
    qint64 m_textBase = 0;      // text position of the buffer's first unit
    qint64 m_lineBase = 0;      // line of the buffer's first unit
    bool m_startsLine = true;   // whether the buffer's first unit begins a line
    // Within one piece: the breaks counted so far and up to where.
    qsizetype m_counted = 0;
    qint64 m_lines = 0;
    bool m_open = false; // whether m_line is a line not yet handed over
    LineMatch m_line;
    qint64 m_excerptPosition = 0; // text position of m_line's excerpt
};

} // namespace ostrel
