#pragma once

#include <QByteArray>
#include <QString>
#include <exception>
#include <utility>

namespace ostrel {

// An error shown to the user: a file that cannot be opened or created, a
// text that is not a number, a settings write that was refused... Thrown
// where the error is found, it is not caught by the command that caused it:
// it ends the current event handler (ui/Handler.h), whatever the handler had
// done before stays done, and the default error box shows its text.
class UserError : public std::exception {
public:
    explicit UserError(QString message) : m_message(std::move(message)) {}
    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override;

private:
    QString m_message;
    mutable QByteArray m_utf8;
};

} // namespace ostrel
