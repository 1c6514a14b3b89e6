#pragma once

#include <QApplication>
#include <memory>

class QTemporaryDir;

namespace ostrel {

// The application object: its title is "OSTREL", the standard dialogs speak
// Japanese, the Windows font names of the layouts resolve to Japanese fonts of
// this desktop, screen readers find every control named and described
// (Accessibility.h), and a platform error that escapes an event handler is
// shown in the default error box instead of ending the program. What Qt
// itself would remember between runs (the colour dialogs' custom colours)
// lasts for the run only.
class Application : public QApplication {
public:
    Application(int& argc, char** argv);
    ~Application() override;
    bool notify(QObject* receiver, QEvent* event) override;

private:
    std::unique_ptr<QTemporaryDir> m_qtSettings;
};

// The font-name substitutions and translations, for any QApplication.
void setUpLocale(QApplication& app);

} // namespace ostrel
