#pragma once

#include <QTextStream>
#include <functional>
#include <memory>

class ProgressForm;
class QThread;

// Runs one worker thread of the program the way a page does (a ProgressForm it reports to, started,
// the form run, the thread waited for), but quiet: the result text is printed instead of shown.
// Returns 0 after success, 1 after an error or a cancel.
int probeRunWorker(
    const std::function<std::unique_ptr<QThread>(ProgressForm&)>& make, QTextStream& out, QTextStream& err);
