#pragma once

#include <QString>

namespace ostrel {

// The text as the default error box shows it: a full stop is added when the
// last character sorts after "." (every text ending in a Japanese character
// gets one; a text ending in ")" does not).
QString errorBoxText(const QString& message);

// The application's default error box: modal, titled with the application
// title, an error icon and one OK button; details, when there are any, are
// shown on request below the message.
void showDefaultErrorBox(const QString& message, const QString& details = {});

} // namespace ostrel
