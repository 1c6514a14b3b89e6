#pragma once

#include <QApplication>

namespace ostrel {

// The application object: its title is "OSTREL", the standard dialogs speak
// Japanese, the Windows font names of the layouts resolve to Japanese fonts of
// this desktop, screen readers find every control named and described
// (Accessibility.h), and a platform error that escapes an event handler is
// shown in the default error box instead of ending the program.
class Application : public QApplication {
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// The font-name substitutions and translations, for any QApplication.
void setUpLocale(QApplication& app);

} // namespace ostrel
