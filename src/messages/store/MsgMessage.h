#pragma once

#include "messages/store/MsgTextField.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

class _MsgHandle;
class _MsgChat;
class _MsgAttachment;

// One message. The column fields follow the message table of the modern message database; the
// fields with a leading underscore are the model's own links and marks. Links are not owned:
// copies share the linked records.
class _MsgMessage
{
public:
    _MsgMessage() = default;

    // One-line summary: the text with attachment markers, or the text of a group or system event.
    QString summaryRawEmoji() const;
    // The summary with every emoji replaced by "[EMOJI]".
    QString summary() const;
    // The summary as a list cell shows it: summary() of a text of at most kSummaryHead characters;
    // of a longer one, its first kSummaryHead and a line saying it is cut there. Costs the head
    // only, however long the text.
    QString summaryHead() const;
    static constexpr qsizetype kSummaryHead = 500;
    // Attachments in ascending rowid order.
    QList<_MsgAttachment*> attachments() const;
    // Text of the contact column: the conversation's name, with the sender's name in a group.
    QString contactInfo() const;
    // 32 lower-case hex digits identifying the message's content across databases.
    QString logicalHash() const;

    qint64 rowid = 0;
    QString guid;
    MsgTextField text; // text() gives it without U+FFFC
    int replace = 0;
    QString service_center;
    qint64 handle_id = 0;
    QString subject;
    QString country;
    QByteArray attributedBody;
    int version = 10;
    int type = 0;
    QString service;
    QString account;
    QString account_guid;
    int error = 0;
    int date = 0;
    int date_read = 0;
    int date_delivered = 0;
    int is_delivered = 0;
    int is_finished = 0;
    int is_emote = 0;
    int is_from_me = 0;
    int is_empty = 0;
    int is_delayed = 0;
    int is_auto_reply = 0;
    int is_prepared = 0;
    int is_read = 0;
    int is_system_message = 0;
    int is_sent = 0;
    int has_dd_results = 0;
    int is_service_message = 0;
    int is_forward = 0;
    int was_downgraded = 0;
    int is_archive = 0;
    int cache_has_attachments = 0;
    QString cache_roomnames;
    int was_data_detected = 0;
    int was_deduplicated = 0;
    bool _recovered = false;
    qint64 _sort_rowid = 0;
    int is_audio_message = 0;
    int is_played = 0;
    int date_played = 0;
    int item_type = 0;
    int other_handle = -1;
    QString group_title;
    int group_action_type = 0;
    int share_status = 0;
    int share_direction = 0;
    int is_expirable = 0;
    int expire_state = 0;
    int message_action_type = 0;
    _MsgHandle* _sender = nullptr;
    _MsgChat* _chat = nullptr;
    QHash<QString, _MsgAttachment*> _attachments;
    _MsgHandle* _other_handle = nullptr;
};

// Message order. Sort message lists ONLY through sortMsgMessages, never by handing these
// predicates to a sort yourself: the order a user expects (nearby rows keep their row order even
// when their clocks disagree) is not a strict weak order, so sortMsgMessages sorts by the strict
// order below and then applies the row-order rule in a bounded pass. Every caller (message list,
// export, printing, saving into a local store) goes through it; the predicates are for comparing
// two messages.
//
// Oldest first: by date, then by the row order of the source, then by rowid. A strict weak order.
bool compareMsgMessageAsc(const _MsgMessage* a, const _MsgMessage* b);
// Newest first: compareMsgMessageAsc with the arguments swapped.
bool compareMsgMessageDesc(const _MsgMessage* a, const _MsgMessage* b);
// True when two messages lie close enough (sort rowids at most 20 apart, dates at most 120 s apart,
// neither recovered, both sort rowids positive) that their source row order beats their dates.
bool isMsgMessageNear(const _MsgMessage* a, const _MsgMessage* b);
// The one way to sort messages: oldest first (or newest first), then neighbouring messages that
// are near each other keep the order of their source rows, as sent and received messages of one
// moment may carry clocks that disagree.
void sortMsgMessages(QList<_MsgMessage*>& list, bool ascending = true);
