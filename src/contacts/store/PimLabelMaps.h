#pragma once

#include <QMap>
#include <QString>

// Fixed English labels of the type codes of the contact model (data2, and data5 of an IM account).
// Each returns a copy of one map built on first use; a code the map lacks has no label.
namespace pim
{
QMap<int, QString> phoneTypeMap();
QMap<int, QString> emailTypeMap();
QMap<int, QString> nicknameTypeMap();
QMap<int, QString> eventTypeMap();
QMap<int, QString> imTypeMap();
QMap<int, QString> imProtocolMap();
QMap<int, QString> orgTypeMap();
QMap<int, QString> relTypeMap();
QMap<int, QString> addrTypeMap();
QMap<int, QString> urlTypeMap();
} // namespace pim
