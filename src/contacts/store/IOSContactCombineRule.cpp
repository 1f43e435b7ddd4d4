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

// One rule table, built once: per kind 0 to 13 the four key lists and the one-entity flag.
struct KindRule {
    QStringList empty, min, full, valid;
    bool single = false;
};

const KindRule& ruleOf(int kind)
{
    static const QList<KindRule> table = [] {
        QList<KindRule> t(14);
        t[2] = { keys({ 4 }), keys({ 4 }), keys({ 4 }), keys({ 4, 15 }), true };
        for (int k : { 3, 4, 13 })
            t[k] = { keys({ 1 }), keys({ 1 }), keys({ 1, 2, 3 }), keys({ 1, 2, 3 }), false };
        t[5] = { keys({ 1 }), keys({ 1 }), keys({ 1 }), keys({ 1 }), true };
        t[9] = t[5];
        for (int k : { 6, 11 })
            t[k] = { keys({ 1 }), keys({ 1, 2 }), keys({ 1, 2, 3 }), keys({ 1, 2, 3 }), false };
        t[8] = { keys({ 1 }), keys({ 1, 5 }), keys({ 1, 5, 2, 3 }), keys({ 1, 5, 2, 3 }), false };
        t[10] = { keys({ 1, 5, 4 }), keys({ 1, 5, 4 }), keys({ 1, 5, 4 }), keys({ 1, 5, 4 }), true };
        t[12] = { keys({ 1 }), keys({ 1 }), keys({ 10, 11, 8, 7, 4, 9, 2, 3 }),
            keys({ 1, 10, 11, 8, 7, 4, 9, 2, 3 }), false };
        return t; // kinds 0, 1 (name), 7 (group) keep empty lists
    }();
    static const KindRule none;
    return kind >= 0 && kind < table.size() ? table.at(kind) : none;
}
} // namespace

QStringList IOSContactCombineRule::checkEmptyFields(int kind)
{
    return ruleOf(kind).empty;
}

QStringList IOSContactCombineRule::checkEqualFieldsMin(int kind)
{
    return ruleOf(kind).min;
}

QStringList IOSContactCombineRule::checkEqualFieldsFull(int kind)
{
    return ruleOf(kind).full;
}

QStringList IOSContactCombineRule::validFields(int kind, bool& single)
{
    single = ruleOf(kind).single;
    return ruleOf(kind).valid;
}
