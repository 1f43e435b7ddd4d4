#include "device/AfcFile.h"

AfcFile::AfcFile() = default;

AfcFile::~AfcFile()
{
    close();
}

int AfcFile::read(char* buffer, int length)
{
    if (!client || !handle || length < 0)
        return -1;
    quint32 n = 0;
    if (client->fileRead(handle, buffer, static_cast<quint32>(length), n) != 0)
        return -1;
    return static_cast<int>(n);
}

int AfcFile::write(const char* data, int length)
{
    if (!client || !handle || length < 0)
        return -1;
    quint32 n = 0;
    if (client->fileWrite(handle, data, static_cast<quint32>(length), n) != 0)
        return -1;
    return static_cast<int>(n);
}

int AfcFile::lock(AfcLockOp operation)
{
    if (!client || !handle)
        return 1;
    return client->fileLock(handle, operation);
}

void AfcFile::close()
{
    if (client && handle)
        client->fileClose(handle);
    handle = 0;
}
