#pragma once

#include <QString>

class QMessageBox;
class QWidget;

namespace ostrel {

// "OSTREL": the title of notices, errors and the application itself.
QString applicationTitle();

enum class Answer { Yes, No, Ok, Cancel };

enum Buttons : unsigned { YesButton = 1, NoButton = 2, OkButton = 4, CancelButton = 8 };

enum class QuestionKind { Information, Warning };

// A notice with one OK button, titled with the application title.
void showMessage(const QString& text);

// A question box titled "情報" or "警告" with the chosen buttons, in the order
// はい, いいえ, OK, キャンセル. Closing the box without a choice answers Cancel.
// Enter presses the first button unless another one is named the default.
Answer askQuestion(QuestionKind kind, const QString& text, unsigned buttons,
                   unsigned defaultButton = 0);

// Places a window centred on the screen.
void centreOnScreen(QWidget& window);

// Shows a prepared box modally, centred on the screen.
int execCentred(QMessageBox& box);

} // namespace ostrel
