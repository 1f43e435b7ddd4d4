#pragma once

#include "device/AfcSession.h"

// One open device file. It must not outlive the mobiledevice_afc that opened it.
class AfcFile
{
public:
    AfcFile();
    ~AfcFile();
    AfcFile(const AfcFile&) = delete;
    AfcFile& operator=(const AfcFile&) = delete;

    // Bytes read or written, or -1 when the file is not open or the call failed.
    int read(char* buffer, int length);
    int write(const char* data, int length);
    // The AFC result of the lock (0 = success), or 1 when the file is not open.
    int lock(AfcLockOp operation);
    void close();

    AfcSession* client = nullptr;
    quint64 handle = 0;
};
