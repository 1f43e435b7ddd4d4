#pragma once

#include "device/PlistCFType.h"

#include <QString>

// A pair of anonymous pipes to a child process carrying framed property lists: a 4-byte length in
// host byte order, then that many bytes of a serialised property list. One thread per object.
class mobiledevice_pipe
{
public:
    explicit mobiledevice_pipe(int timeout);
    ~mobiledevice_pipe();
    mobiledevice_pipe(const mobiledevice_pipe&) = delete;
    mobiledevice_pipe& operator=(const mobiledevice_pipe&) = delete;

    bool create();
    bool connect();
    // Up to `length` bytes; short when the wait timed out or the pipe ended.
    int read(char* buffer, int length);
    // One write call; the bytes it wrote, or 0.
    int write(const char* data, int length, bool sync);
    // Sends the request as an XML property list.
    bool writeRequest(const PlistCFType& request);
    // The next message, or a null value when none came whole (or it is larger than the bound).
    PlistCFType readReponse();
    void close();

    // The largest message body accepted; a peer cannot make the reader allocate more.
    static constexpr int kMaxMessage = 64 * 1024 * 1024;

    int timeout;
    int parentRead = 0;
    int childWrite = 0;
    int childRead = 0;
    int parentWrite = 0;
    QString childReadText;
    QString childWriteText;

private:
    bool waitFor(int fd, bool forWrite);
};
