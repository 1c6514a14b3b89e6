#pragma once

#include <QString>

class QTextDocument;

namespace ostrel {

// The text a plain-text editor holds, its lines separated by "\n". Unlike
// QTextDocument::toPlainText it keeps every character as typed: a no-break
// space stays one, and a line separator (U+2028) is no line break of the file.
QString editorText(const QTextDocument* document);

} // namespace ostrel
