#pragma once

#include <QList>

class QWidget;
class _MsgMessage;

// The two roads by which messages of the message page reach a device or a backup: a restore to a
// connected device through a fresh device backup, and a merge into a backup on this computer.
// Both run their steps under progress dialogs parented to the page and tell the user the outcome.
class SMSRestoreRoads
{
public:
    static void restoreSMS(QWidget* page, const QList<_MsgMessage*>& messages);
    static void export2iTunes(QWidget* page, const QList<_MsgMessage*>& messages);
};
