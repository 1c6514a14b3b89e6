#pragma once

#include <QString>

class QLabel;

namespace ostrel {

// Shows a text in a label of fixed width in full: in the label's own font
// when it fits, in a smaller size of that font when it does not (down to a
// size that is still read), never cut.
void setTextInFull(QLabel* label, const QString& text);

} // namespace ostrel
