#pragma once

#include <QString>
#include <utility>

namespace pim
{

// One contact group of the local store.
struct _Group {
    _Group() = default;
    _Group(unsigned long long id, QString name)
        : id(id)
        , name(std::move(name))
    {
    }

    unsigned long long id = 0;
    QString name;
};

} // namespace pim
