#pragma once

#include <QString>
#include <QTextFormat>
#include <vector>

class QTextBlock;
class QTextDocument;

namespace ostrel {

// The editor lays a block (a paragraph) out whole whenever it changes, so a
// line of millions of characters would cost seconds on every key. Such a line
// is held in the document as several blocks joined by soft breaks: block
// separators that are not part of the text. The block after a soft break
// carries kContinuesLine in its block format; undo and redo restore block
// formats, so the mark stays with its separator through every edit. The
// record's text (what is saved, searched and copied) is the document's with
// the soft breaks left out.

// The block format property of a block that continues the line of the block
// before it.
constexpr int kContinuesLine = QTextFormat::UserProperty + 0x0B7E;

// The longest piece a line is cut into when it is loaded or pasted.
constexpr qsizetype kLongLine = 1024;

// Whether the block follows a soft break.
bool continuesLine(const QTextBlock& block);

// Where the long lines of a text are cut: ascending positions in the text,
// each the start of a piece that continues a line. Lines end at "\n", "\r",
// U+2029, U+FDD0 and U+FDD1 (the characters the editor ends a block at).
// Pieces hold at most `longest` characters; a piece ends where the line may
// wrap when there is such a place in its second half (with word wrap its rows
// then look as usual), else between two characters as shown (never inside a
// surrogate pair or before a combining mark).
std::vector<qsizetype> softBreakPositions(QStringView text, qsizetype longest = kLongLine);

// The text with a "\n" put in at each of the positions.
QString withBreaksAt(const QString& text, const std::vector<qsizetype>& positions);

// Marks the blocks that start at the given document positions as continuing
// the line before them, without an undo step.
void markContinuations(QTextDocument* document, const std::vector<int>& blockStarts);

// Whether the document may hold soft breaks: set when it was given some,
// cleared when it is given a text without any. Without them the lines of
// the text are the document's blocks.
bool mayHaveSoftBreaks(const QTextDocument* document);
void setMayHaveSoftBreaks(QTextDocument* document, bool may);

} // namespace ostrel
