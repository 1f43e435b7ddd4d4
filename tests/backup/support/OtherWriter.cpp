#include "backup/support/OtherWriter.h"

std::unique_ptr<QProcess> OtherWriter::holdFolder(const QString& dir)
{
    auto writer = std::make_unique<QProcess>();
    writer->start("python3",
        { "-c",
            "import fcntl, os, select, sys\nfd = os.open(sys.argv[1], os.O_RDONLY)\n"
            "fcntl.flock(fd, fcntl.LOCK_EX)\nprint('held', flush=True)\n"
            "select.select([sys.stdin], [], [], 20)",
            dir });
    if (!writer->waitForReadyRead(10000))
        return nullptr;
    return writer;
}
