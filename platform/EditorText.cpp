#include "EditorText.h"

#include <QTextDocument>

namespace ostrel {

QString editorText(const QTextDocument* document) {
    QString text = document->toRawText();
    // Blocks are separated by U+2029; frames (which a plain-text editor does
    // not make) are marked by U+FDD0 and U+FDD1, which also end a line.
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if (u == QChar::ParagraphSeparator || (u & 0xFFFE) == 0xFDD0)
            c = u'\n';
    }
    return text;
}

} // namespace ostrel
