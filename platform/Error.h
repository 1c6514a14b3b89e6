#pragma once

#include <QString>
#include <exception>
#include <utility>

namespace ostrel {

// A failure reported by the platform layer (a file that cannot be opened or
// created, a text that is not a number, a settings write that was refused...).
// It is not caught by the command that caused it: it ends the current event
// handler and is shown in the application's default error box.
class PlatformError : public std::exception {
public:
    explicit PlatformError(QString message) : m_message(std::move(message)) {}
    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override;

private:
    QString m_message;
    mutable QByteArray m_utf8;
};

// The text as the default error box shows it: a full stop is added when the
// last character sorts after "." (every text ending in a Japanese character
// gets one; a text ending in ")" does not).
QString errorBoxText(const QString& message);

// The application's default error box: modal, titled with the application
// title, an error icon and one OK button.
void showDefaultErrorBox(const QString& message);

// Runs one event handler; a PlatformError that escapes it is shown in the
// default error box. Answers whether the handler ran to its end.
template <typename F> bool runHandler(F&& handler) {
    try {
        std::forward<F>(handler)();
        return true;
    } catch (const PlatformError& e) {
        showDefaultErrorBox(e.message());
        return false;
    }
}

} // namespace ostrel
