#include "EditorText.h"

#include <QTextDocument>

namespace ostrel {

QString editorText(const QTextDocument* document) {
    QString text = document->toRawText();
    // Blocks are separated by U+2029; frames (which a plain-text editor does
    // not make) are marked by U+FDD0 and U+FDD1, which also end a line.
    // Only the few separators are written: the rest of the text is just read.
    char16_t* p = reinterpret_cast<char16_t*>(text.data());
    char16_t* const end = p + text.size();
    for (; p != end; ++p)
        if (*p >= QChar::ParagraphSeparator &&
            (*p == QChar::ParagraphSeparator || (*p & 0xFFFE) == 0xFDD0))
            *p = u'\n';
    return text;
}

} // namespace ostrel
