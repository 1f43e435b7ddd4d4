#pragma once

#include "app/AbsTreeItemModel.h"
#include "calls_calendars/_CallHistory.h"

#include <QList>

// The flat list of calls of the call-history page, newest first, five columns.
class ItemModelCall : public AbsTreeItemModel
{
    Q_OBJECT
public:
    class _CallItemNode : public _ItemNode
    {
    public:
        explicit _CallItemNode(const _CallHistory& call)
            : _ItemNode(0, QString(), nullptr)
            , call(call)
        {
        }
        _CallHistory call;
    };

    explicit ItemModelCall(QObject* parent = nullptr);

    void loadCalls(QList<_CallHistory> calls);
    const QList<_CallHistory>& calls() const { return m_calls; }

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    static QString cellText(const _CallHistory& call, int column);

private:
    QList<_CallHistory> m_calls;
};

// A tool tip that shows text from a backup as plain text, whatever characters it holds.
QString plainToolTip(const QString& text);
