#include "ProbeCommand.h"
#include "contacts/export/QVCardParser.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <stdexcept>

namespace
{
QJsonObject propertyJson(const QVCardParser::_Property& p)
{
    QJsonObject params;
    for (auto it = p.params.cbegin(); it != p.params.cend(); ++it)
        params[it.key()] = it.value();
    QJsonObject o;
    o["name"] = p.name;
    o["params"] = params;
    o["text"] = p.toString();
    o["values"] = QJsonArray::fromStringList(p.values());
    o["bytes"] = int(p.value.size());
    return o;
}

int runVCard(const QStringList& args, QTextStream& out, QTextStream& err)
{
    if (args.size() != 1) {
        err << "usage: qm-probe vcard FILE\n";
        return 2;
    }
    QFile file(args.first());
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(file.errorString().toStdString());
    QJsonArray cards;
    for (const QVCardParser::Card& card : QVCardParser::parse(file.read(QVCardParser::kMaxInput))) {
        QJsonArray props;
        for (const QVCardParser::_Property& p : card)
            props.append(propertyJson(p));
        cards.append(props);
    }
    out << QJsonDocument(cards).toJson(QJsonDocument::Indented);
    return 0;
}

const ProbeCommand command("vcard", "FILE   the cards of a vCard file as JSON", runVCard);
} // namespace
