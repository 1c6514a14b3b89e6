#pragma once

#include "editor/internal/CharWidths.h"

#include <QStringView>
#include <memory>
#include <vector>

namespace ostrel::editor::internal {

// What the rows of a line depend on besides its text.
struct WrapSetup {
    bool wrap = true;
    qint32 width = 0; // available to a row's text, in 1/64 pixel
    std::shared_ptr<const CharWidths> widths;
    bool operator==(const WrapSetup& other) const {
        return wrap == other.wrap && (!wrap || width == other.width) && widths == other.widths;
    }
};

// The longest row, in code units, whatever the width: a run of characters
// that take no room would otherwise make a row of any length.
constexpr qsizetype kLongestRow = 4096;
// The longest run of characters kept together as one (a base character and
// its marks); a longer run is cut.
constexpr qsizetype kLongestCluster = 64;

// The view's wrap rule, one line at a time: characters are laid side by side
// by their advances (a tab to the next tab stop), and a row ends before the
// character that would cross the right edge, at the last place in the row
// where a line may break (after spaces, between two ideographic characters
// unless the second may not begin a row or the first may not end one), else
// before that character (never inside a surrogate pair or before a
// combining mark). Spaces may hang over the edge. Without wrap a line is one
// row, and only its width is measured.
//
// The text of a line is fed in consecutive parts (a line may lie in several
// blocks); offsets count from the line's start.
class RowBreaker {
public:
    explicit RowBreaker(const WrapSetup& setup, bool collectStarts = false);
    void startLine();
    void feed(QStringView part);
    // Rows of the line so far (at least one).
    qint64 rows() const { return m_rows; }
    // Where the rows start after the first (with collectStarts).
    const std::vector<qsizetype>& starts() const { return m_starts; }
    // How much of the line was fed.
    qsizetype length() const { return m_offset; }
    // The width of the line without wrap (1/64 pixel).
    qint64 width() const { return m_x; }

    // The rows of a whole line.
    static qint64 countRows(const WrapSetup& setup, QStringView line);
    // Where every row of a line starts (the first at 0).
    static std::vector<qsizetype> rowStarts(const WrapSetup& setup, QStringView line);
    // The width of a line laid out in one row.
    static qint64 lineWidth(const WrapSetup& setup, QStringView line);

private:
    void breakRow(qsizetype at, qint64 xAt);

    const CharWidths& m_widths;
    const bool m_wrap;
    const qint64 m_width;
    const bool m_collect;
    std::vector<qsizetype> m_starts;
    qint64 m_rows = 1;
    qint64 m_x = 0;
    qsizetype m_offset = 0; // of the next character
    qsizetype m_rowStart = 0;
    qsizetype m_break = -1; // the last place in the row where the line may break
    qint64 m_xAtBreak = 0;
    qsizetype m_boundary = 0; // the last character start (not inside a cluster)
    qint64 m_xAtBoundary = 0;
    char16_t m_previous = 0;
};

} // namespace ostrel::editor::internal
