#include <QCoreApplication>
#include <QTextStream>

// Developer probe: inspects backups and databases from the command line for tests and benchmarks.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        err << "usage: qm-probe COMMAND ARGS...\n";
        return 2;
    }
    err << "qm-probe: unknown command " << args.first() << "\n";
    return 2;
}
