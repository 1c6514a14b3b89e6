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
    explicit UserError(QString message, QString details = {})
        : m_message(std::move(message)), m_details(std::move(details)) {}
    const QString& message() const noexcept { return m_message; }
    // What helps someone who looks further (where, which code), shown on
    // request below the message; mostly empty.
    const QString& details() const noexcept { return m_details; }
    const char* what() const noexcept override;

private:
    QString m_message;
    QString m_details;
    mutable QByteArray m_utf8;
};

} // namespace ostrel
