#include "PrintSystem.h"

#include "core/UserError.h"
#include "ui/MessageBox.h"

#include <QEventLoop>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>

#include <climits>

namespace ostrel::print {

namespace {

// An answer that comes sooner shows no box.
constexpr int kShowBoxAfterMs = 400;

struct Shared {
    printqueue::Cancel cancel{false};
    std::exception_ptr error;
};

} // namespace

void askPrintSystem(QWidget* window, Waiting how, const QString& waiting,
                    std::function<void(const printqueue::Cancel&)> work) {
    auto shared = std::make_shared<Shared>();
    // Owned by nobody while it runs (it may outlive this call when the user
    // gives up), it removes itself once it has finished.
    QThread* thread = QThread::create([shared, work = std::move(work)] {
        try {
            work(shared->cancel);
        } catch (...) {
            shared->error = std::current_exception();
        }
    });
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);

    QEventLoop loop;
    bool finished = false;
    QObject::connect(thread, &QThread::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QProgressDialog box(waiting, QStringLiteral("キャンセル"), 0, 0, window);
    box.setObjectName(QStringLiteral("PrintWaitDialog"));
    box.setWindowTitle(applicationTitle());
    box.setWindowModality(how == Waiting::Modal ? Qt::WindowModal : Qt::NonModal);
    box.setAutoReset(false);
    box.setAutoClose(false);
    // Shown by this timer: the box shows itself only as its value moves.
    box.setMinimumDuration(INT_MAX);
    QTimer::singleShot(kShowBoxAfterMs, &box, [&box] { box.show(); });
    QObject::connect(&box, &QProgressDialog::canceled, &loop, &QEventLoop::quit);
    thread->start();
    loop.exec();
    box.hide();

    if (!finished) {
        // The user gave up, or the program is ending (which ends every event
        // loop): the work stops at its next wait. An ending program gives it
        // that moment, so that it takes back what it began.
        shared->cancel = true;
        if (!box.wasCanceled())
            thread->wait(printqueue::patience());
        throw printqueue::Unanswered(printqueue::Unanswered::Why::Cancelled, QString());
    }
    if (shared->error)
        std::rethrow_exception(shared->error);
}

UserError unansweredError(const printqueue::Unanswered& e, const QString& unreachable) {
    if (e.why() == printqueue::Unanswered::Why::Silent)
        return UserError(QStringLiteral("印刷システムが応答しません"),
                         QStringLiteral("印刷システム (%1) は %2 秒待っても応答しませんでした")
                             .arg(e.server())
                             .arg(printqueue::patience() / 1000.0));
    return UserError(unreachable,
                     QStringLiteral("印刷システム (%1) に接続できません").arg(e.server()));
}

} // namespace ostrel::print
