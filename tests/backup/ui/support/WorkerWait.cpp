#include "WorkerWait.h"

#include "app/ui/shared/ProgressForm.h"
#include "app/ui/support/ModalAnswerer.h"

#include <QThread>
#include <QTimer>

WorkerWait WorkerWait::run(ProgressForm& form, QThread& worker, bool cancel,
    const std::function<void()>& release, const std::function<void()>& whenSeen, int neverHangMs)
{
    WorkerWait w;
    ModalAnswerer answerer;
    if (cancel)
        answerer.answer(QMessageBox::Yes); // "Are You Sure You Want To Cancel?"
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &form, [&] {
        if (!w.seen.isEmpty() || !form.statusText().startsWith("Waiting"))
            return;
        w.seen = form.statusText();
        if (whenSeen)
            whenSeen();
        if (cancel)
            form.reject();
        else
            release();
    });
    poll.start(20);
    QTimer neverHang; // stops when this call returns, as the caller's release() may not outlive it
    neverHang.setSingleShot(true);
    QObject::connect(&neverHang, &QTimer::timeout, &form, release);
    neverHang.start(neverHangMs);
    worker.start();
    w.result = form.exec();
    w.ended = worker.wait(5000);
    return w;
}
