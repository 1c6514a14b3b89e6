#pragma once

#include "core/UserError.h"
#include "os/PrintQueue.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace ostrel::print {

// How the window waits while the print system is asked.
enum class Waiting {
    // Before a dialog: a box that blocks the windows says, after a moment,
    // that the print system is being waited for, and offers to give up.
    Modal,
    // While a job is sent: the same box, but the window goes on taking
    // input.
    Alongside,
};

// Runs `work` on a thread of its own, since the print system may take long
// to answer or never answer; the window's events go on meanwhile. Raises
// what `work` raises, and printqueue::Unanswered (Cancelled) when the user
// gives up waiting or the program ends first. `work` gets a flag that is set
// then, and must own everything it uses: it may outlive the call.
void askPrintSystem(Waiting how, const QString& waiting,
                    std::function<void(const printqueue::Cancel&)> work);

template <typename T>
T askPrintSystem(Waiting how, const QString& waiting,
                 std::function<T(const printqueue::Cancel&)> work) {
    auto result = std::make_shared<std::optional<T>>();
    askPrintSystem(how, waiting,
                   [result, work = std::move(work)](const printqueue::Cancel& cancel) {
                       *result = work(cancel);
                   });
    return std::move(**result);
}

// What the user is told when the print system gave no answer (the user did
// not give up): `unreachable` when nothing answers where it should be,
// "印刷システムが応答しません" when it does not answer in time, each with
// where the print system was looked for in the details.
UserError unansweredError(const printqueue::Unanswered& e, const QString& unreachable);

} // namespace ostrel::print
