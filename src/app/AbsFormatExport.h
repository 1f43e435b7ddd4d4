#pragma once

// The interface of one export writer over records of type T: init() prepares the output, write()
// adds one record, uninit() completes it. On cancel or failure uninit() is not called and the
// writer is only destroyed. Failures throw std::runtime_error with a user-readable text.
template <typename T> class AbsFormatExport
{
public:
    virtual ~AbsFormatExport() = default;
    virtual void init() = 0;
    virtual void write(T& record) = 0;
    virtual void uninit() = 0;
};
