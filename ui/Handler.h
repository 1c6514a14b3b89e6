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

// Runs one event handler; answers whether it ran to its end.
template <typename F> bool runHandler(F&& handler) {
    try {
        std::forward<F>(handler)();
        return true;
    } catch (const UserError& e) {
        showDefaultErrorBox(e.message(), e.details());
        return false;
    }
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
