#include "PrintSystem.h"

#include "core/UserError.h"
#include "ui/MessageBox.h"

#include "PrintTexts.h"
#include "ui/UiTexts.h"
#include "ui_PrintWaitDialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QTimer>

namespace ostrel::print {

namespace {

// An answer that comes sooner shows no box.
constexpr int kShowBoxAfterMs = 400;

struct Shared {
    printqueue::Cancel cancel{false};
    std::exception_ptr error;
};

} // namespace

void askPrintSystem(Waiting how, const QString& waiting,
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
    // A box of its own, centred on the screen like the message boxes: one
    // that belongs to the main window is left undrawn on X11 while this loop
    // runs (and so is a busy progress bar, whatever it belongs to).
    QDialog box;
    Ui::PrintWaitDialog layout;
    layout.setupUi(&box);
    box.setWindowTitle(applicationTitle());
    box.setWindowModality(how == Waiting::Modal ? Qt::ApplicationModal : Qt::NonModal);
    layout.Buttons
        ->addButton(QString::fromUtf16(texts::ui::cancelButton), QDialogButtonBox::RejectRole)
        ->setObjectName(QStringLiteral("CancelBtn"));
    QObject::connect(layout.Buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);
    bool gaveUp = false;
    QObject::connect(&box, &QDialog::rejected, &loop, [&] {
        gaveUp = true;
        loop.quit();
    });
    // The seconds waited, so that a wait that goes on shows that it does.
    QElapsedTimer waited;
    waited.start();
    const auto showWaited = [&] {
        layout.WaitLbl->setText(
            texts::print::waitedSeconds().arg(waiting).arg(waited.elapsed() / 1000));
    };
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &box, showWaited);
    QTimer::singleShot(kShowBoxAfterMs, &box, [&] {
        showWaited();
        box.adjustSize();
        centreOnScreen(box);
        box.show();
        tick.start(1000);
    });
    thread->start();
    loop.exec();
    tick.stop();
    box.hide();

    if (!finished) {
        // The user gave up, or the program is ending (which ends every event
        // loop): the work stops at its next wait. An ending program gives it
        // that moment, so that it takes back what it began.
        shared->cancel = true;
        if (!gaveUp)
            thread->wait(printqueue::patience());
        throw printqueue::Unanswered(printqueue::Unanswered::Why::Cancelled, QString());
    }
    if (shared->error)
        std::rethrow_exception(shared->error);
}

UserError unansweredError(const printqueue::Unanswered& e, const QString& unreachable) {
    if (e.why() == printqueue::Unanswered::Why::Silent)
        return UserError(texts::print::printSystemSilent(),
                         texts::print::printSystemSilentDetails()
                             .arg(e.server())
                             .arg(printqueue::patience() / 1000.0));
    return UserError(unreachable, texts::print::printSystemUnreachable().arg(e.server()));
}

} // namespace ostrel::print
