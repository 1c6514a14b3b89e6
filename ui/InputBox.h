#pragma once

#include <QString>
#include <QValidator>
#include <optional>

class QLineEdit;
class QWidget;

namespace ostrel {

// How many bytes a text takes in the system's ANSI code page (Shift-JIS):
// one for ASCII and half-width katakana, two for any other character.
int ansiByteLength(QStringView text);

// Refuses any edit that would make a field longer than a number of bytes in
// the ANSI code page, as an edit control with a text limit does.
class ByteLimitValidator : public QValidator {
public:
    ByteLimitValidator(int maxBytes, QObject* parent);
    State validate(QString& input, int& pos) const override;

private:
    int m_maxBytes;
};

// Limits a line edit to 255 bytes, the edit fields' limit.
void limitTo255Bytes(QLineEdit* edit);

// The one-line input box: modal, centred on the screen, with a caption, a
// prompt line and one edit field of at most 255 bytes that starts empty, and
// the buttons "OK" (the default, Enter) and "キャンセル" (Esc). Answers the
// field's text after OK, nothing after Cancel or when the box is closed.
std::optional<QString> inputBox(QWidget* parent, const QString& caption, const QString& prompt);

} // namespace ostrel
