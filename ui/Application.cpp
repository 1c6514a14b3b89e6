#include "Application.h"

#include "Accessibility.h"
#include "Handler.h"
#include "MessageBox.h"

#include <QFont>
#include <QLibraryInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QTranslator>

namespace ostrel {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    // No display name: the desktop would add it to every window's caption, and
    // the captions are the program's own ("OSTREL ver 1.6.4", "レコードの作成").
    setApplicationName(applicationTitle());
    setDesktopFileName(QStringLiteral("org.ostrel.Ostrel"));
    setUpLocale(*this);
    installAccessibility(*this);

    // Qt keeps the custom colours of its colour dialog in the user's settings
    // and reads them back at the next start; Ostrel's last for the run. Qt's
    // settings files go to a folder of the run's own (Ostrel keeps its own
    // settings in Ostrel.ini and uses none of Qt's). Where the native format
    // is not a file (the registry on Windows) this does not reach it.
    m_qtSettings = std::make_unique<QTemporaryDir>();
    if (m_qtSettings->isValid()) {
        for (auto format : {QSettings::NativeFormat, QSettings::IniFormat})
            QSettings::setPath(format, QSettings::UserScope, m_qtSettings->path());
    }
}

Application::~Application() = default;

bool Application::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    runBehindBoundary([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

void setUpLocale(QApplication& app) {
    // The layouts name Windows fonts; these are their nearest Japanese
    // Gothic faces on a Linux desktop.
    const QStringList gothic = {QStringLiteral("IPAGothic"), QStringLiteral("IPAexGothic"),
                                QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL Gothic"),
                                QStringLiteral("TakaoGothic")};
    const QStringList pGothic = {QStringLiteral("IPAPGothic"), QStringLiteral("IPAexGothic"),
                                 QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL PGothic"),
                                 QStringLiteral("TakaoPGothic")};
    QFont::insertSubstitutions(QStringLiteral("MS UI Gothic"), pGothic);
    QFont::insertSubstitutions(QStringLiteral("ＭＳ Ｐゴシック"), pGothic);
    QFont::insertSubstitutions(QStringLiteral("MS PGothic"), pGothic);
    QFont::insertSubstitutions(QStringLiteral("ＭＳ ゴシック"), gothic);

    auto* translator = new QTranslator(&app);
    if (translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                         QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(translator);
    else
        delete translator;
}

} // namespace ostrel
