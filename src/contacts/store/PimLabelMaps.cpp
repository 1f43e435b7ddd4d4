#include "contacts/store/PimLabelMaps.h"

namespace pim
{
// Function-local statics: built once, thread-safe on first use, then only read.

QMap<int, QString> phoneTypeMap()
{
    static const QMap<int, QString> map { { 0, "Other" }, { 1, "Home" }, { 2, "Mobile" }, { 3, "Work" },
        { 4, "Work Fax" }, { 5, "Home Fax" }, { 6, "Pager" }, { 8, "Callback" }, { 9, "Car" },
        { 10, "Company Main" }, { 11, "ISDN" }, { 12, "Main" }, { 13, "Other Fax" }, { 14, "Radio" },
        { 15, "Telex" }, { 16, "TTY TDD" }, { 17, "Work Mobile" }, { 18, "Work Pager" }, { 19, "Assistant" },
        { 20, "MMS" } };
    return map;
}

QMap<int, QString> emailTypeMap()
{
    static const QMap<int, QString> map { { 0, "Other" }, { 1, "Home" }, { 2, "Work" }, { 4, "Mobile" } };
    return map;
}

QMap<int, QString> nicknameTypeMap()
{
    static const QMap<int, QString> map { { 0, "Other" }, { 1, "Default" }, { 2, "Other" }, { 3, "Maiden" },
        { 4, "Short" }, { 5, "Initials" } };
    return map;
}

QMap<int, QString> eventTypeMap()
{
    static const QMap<int, QString> map { { 0, "Other" }, { 1, "Anniversary" }, { 3, "Birthday" } };
    return map;
}

QMap<int, QString> imTypeMap()
{
    static const QMap<int, QString> map { { 0, "Other" }, { 1, "Home" }, { 2, "Work" } };
    return map;
}

QMap<int, QString> imProtocolMap()
{
    static const QMap<int, QString> map { { 0, "Other" }, { 1, "AIM" }, { 2, "MSN" }, { 3, "Yahoo" },
        { 4, "Skype" }, { 5, "QQ" }, { 6, "Google Talk" }, { 7, "ICQ" }, { 8, "Jabber" },
        { 9, "Net Meeting" }, { 10, "Gadu Gadu" }, { 11, "Facebook" } };
    return map;
}

QMap<int, QString> orgTypeMap()
{
    static const QMap<int, QString> map { { 0, "Other" }, { 1, "Work" } };
    return map;
}

QMap<int, QString> relTypeMap()
{
    static const QMap<int, QString> map { { 0, "Other" }, { 1, "Assistant" }, { 2, "Brother" },
        { 3, "Child" }, { 4, "Domestic Partner" }, { 5, "Father" }, { 6, "Friend" }, { 7, "Manager" },
        { 8, "Mother" }, { 9, "Parent" }, { 10, "Partner" }, { 11, "Referred by" }, { 12, "Relative" },
        { 13, "Sister" }, { 14, "Spouse" } };
    return map;
}

QMap<int, QString> addrTypeMap()
{
    static const QMap<int, QString> map { { 0, "Other" }, { 1, "Home" }, { 2, "Work" } };
    return map;
}

QMap<int, QString> urlTypeMap()
{
    static const QMap<int, QString> map { { 0, "Other" }, { 1, "Home page" }, { 2, "Blog" }, { 3, "Profile" },
        { 4, "Home" }, { 5, "Work" }, { 6, "FTP" } };
    return map;
}

} // namespace pim
