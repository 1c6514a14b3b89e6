#pragma once

#include "core/UserError.h"
#include "ui/ErrorBox.h"

#include <QObject>
#include <utility>

// The event-handler boundary. Every handler of every window runs behind it:
// a UserError thrown anywhere below ends the handler and is shown in the
// default error box, and the event loop goes on.
//
// There is one way to wire a handler: bindHandler() for a signal; an event
// filter or an overridden event function calls runHandler() around the
// handler it runs. A plain connect() to a handler would let an error escape.
namespace ostrel {

// How many handlers are running now: more than none while a handler waits
// in a message box or a dialog (whose event loop may run further handlers).
// What happens between the user's commands (the lists following the disk)
// waits while one runs.
inline int& handlersRunning() {
    static int running = 0;
    return running;
}

// Runs code behind the boundary without counting it as a handler: the
// application's backstop around every event, handlers or not.
template <typename F> bool runBehindBoundary(F&& code) {
    try {
        std::forward<F>(code)();
        return true;
    } catch (const UserError& e) {
        showDefaultErrorBox(e.message(), e.details());
        return false;
    }
}

// Runs one event handler; answers whether it ran to its end.
template <typename F> bool runHandler(F&& handler) {
    struct Running {
        Running() { ++handlersRunning(); }
        ~Running() { --handlersRunning(); }
        Running(const Running&) = delete;
        Running& operator=(const Running&) = delete;
    };
    const Running running; // its error box included
    return runBehindBoundary(std::forward<F>(handler));
}

// Runs `handler` behind the boundary each time `signal` of `sender` is
// emitted, for as long as `receiver` lives. The signal's arguments are
// handed to the handler when it takes them.
template <typename Sender, typename Signal, typename Handler>
QMetaObject::Connection bindHandler(Sender* sender, Signal signal, const QObject* receiver,
                                    Handler handler) {
    return QObject::connect(sender, signal, receiver, [handler](auto&&... args) {
        runHandler([&] {
            if constexpr (std::is_invocable_v<Handler, decltype(args)...>)
                handler(std::forward<decltype(args)>(args)...);
            else
                handler();
        });
    });
}

} // namespace ostrel
