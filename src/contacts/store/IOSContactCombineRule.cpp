#include "contacts/store/IOSContactCombineRule.h"

namespace
{
QStringList keys(std::initializer_list<int> numbers)
{
    QStringList list;
    for (int n : numbers)
        list << QStringLiteral("data%1").arg(n);
    return list;
}
} // namespace

QStringList IOSContactCombineRule::checkEmptyFields(int kind)
{
    switch (kind) {
    case 2:
        return keys({ 4 });
    case 3:
    case 4:
    case 5:
    case 6:
    case 8:
    case 9:
    case 11:
    case 12:
    case 13:
        return keys({ 1 });
    case 10:
        return keys({ 1, 5, 4 });
    default:
        return {};
    }
}

QStringList IOSContactCombineRule::checkEqualFieldsMin(int kind)
{
    switch (kind) {
    case 2:
        return keys({ 4 });
    case 3:
    case 4:
    case 5:
    case 9:
    case 12:
    case 13:
        return keys({ 1 });
    case 6:
    case 11:
        return keys({ 1, 2 });
    case 8:
        return keys({ 1, 5 });
    case 10:
        return keys({ 1, 5, 4 });
    default:
        return {};
    }
}

QStringList IOSContactCombineRule::checkEqualFieldsFull(int kind)
{
    switch (kind) {
    case 2:
        return keys({ 4 });
    case 3:
    case 4:
    case 6:
    case 11:
    case 13:
        return keys({ 1, 2, 3 });
    case 5:
    case 9:
        return keys({ 1 });
    case 8:
        return keys({ 1, 5, 2, 3 });
    case 10:
        return keys({ 1, 5, 4 });
    case 12:
        return keys({ 10, 11, 8, 7, 4, 9, 2, 3 });
    default:
        return {};
    }
}

QStringList IOSContactCombineRule::validFields(int kind, bool& single)
{
    single = false;
    switch (kind) {
    case 2:
        single = true;
        return keys({ 4, 15 });
    case 3:
    case 4:
    case 6:
    case 11:
    case 13:
        return keys({ 1, 2, 3 });
    case 5:
    case 9:
        single = true;
        return keys({ 1 });
    case 8:
        return keys({ 1, 5, 2, 3 });
    case 10:
        single = true;
        return keys({ 1, 5, 4 });
    case 12:
        return keys({ 1, 10, 11, 8, 7, 4, 9, 2, 3 });
    default:
        return {};
    }
}
