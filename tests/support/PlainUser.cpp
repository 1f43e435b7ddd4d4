#include "support/PlainUser.h"

#include <cerrno>
#include <cstring>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace
{

const quint32 kOverrides = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);

// The calling thread's capabilities: with set, their effective part changed to hold (or not) the
// overrides. False with errno set when the system refuses.
bool changeOverrides(bool hold, bool* held = nullptr)
{
    __user_cap_header_struct header { _LINUX_CAPABILITY_VERSION_3, 0 };
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    if (held)
        *held = (data[0].effective & kOverrides) != 0;
    data[0].effective
        = hold ? data[0].effective | (data[0].permitted & kOverrides) : data[0].effective & ~kOverrides;
    return ::syscall(SYS_capset, &header, data) == 0;
}

} // namespace

PlainUser::PlainUser()
{
    bool held = false;
    if (!changeOverrides(false, &held)) {
        m_whyNot = QStringLiteral("the capabilities that override permissions could not be dropped: %1")
                       .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    m_dropped = held;
}

PlainUser::~PlainUser()
{
    if (m_dropped)
        changeOverrides(true);
}
