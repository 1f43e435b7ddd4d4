#include "ProbeWorker.h"

#include "app/PrivateCopyNames.h"
#include "app/ui/shared/ProgressForm.h"

#include <QThread>

int probeRunWorker(
    const std::function<std::unique_ptr<QThread>(ProgressForm&)>& make, QTextStream& out, QTextStream& err)
{
    ProgressForm form;
    form.setQuiet(true);
    std::unique_ptr<QThread> thread = make(form);
    thread->start();
    const int result = form.exec();
    thread->wait();
    if (result == 1) {
        if (!form.resultText().isEmpty())
            out << form.resultText() << "\n";
        return 0;
    }
    err << (form.resultText().isEmpty() ? QStringLiteral("cancelled")
                                        : PrivateCopyNames::userNames(form.resultText()))
        << "\n";
    return 1;
}
