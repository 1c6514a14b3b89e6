#pragma once

#include "core/ColorValue.h"

#include <QColor>
#include <optional>

class QColorDialog;
class QWidget;

// Colour values (core/ColorValue.h) as the desktop shows them.
namespace ostrel {

QColor resolveColor(qint32 value);
qint32 colorValue(const QColor& rgb);

// Sets the background a widget fills its content with, and the colour of its
// text (whichever role its kind draws its text in).
void setBackgroundColor(QWidget* widget, const QColor& color);
void setTextColor(QWidget* widget, const QColor& color);

// Shows a colour dialog, modal, on its own current colour, and answers the
// colour chosen with OK, which the dialog keeps as its current colour; the
// custom colours defined in it stay for the run. Cancel answers nothing and
// leaves the dialog's colour and the custom colours as they were.
std::optional<QColor> chooseColor(QColorDialog* dialog);

} // namespace ostrel
