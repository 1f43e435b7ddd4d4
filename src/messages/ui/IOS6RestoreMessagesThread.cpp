#include "messages/ui/IOS6RestoreMessagesThread.h"

#include "app/ui/shared/ProgressForm.h"
#include "messages/modern/IOS6MessageMerge.h"
#include "messages/store/MsgAttachment.h"
#include "messages/ui/ProgressFormSink.h"

IOS6RestoreMessagesThread::IOS6RestoreMessagesThread(const _CountryInfo& country,
    const QList<_MsgMessage*>& messages, IOS6MessageDb* db, ProgressForm& form, QObject* parent)
    : QThread(parent)
    , country(country)
    , messages(messages)
    , db(db)
    , form(form)
{
}

void IOS6RestoreMessagesThread::run()
{
    ProgressFormSink sink(form);
    IOS6MessageMerge merge(country, messages, *db);
    try {
        merge.runThrow(&sink);
    } catch (int) {
        return; // cancelled: the dialog is closed already
    } catch (const std::exception& e) {
        unknownChatCount = merge.unknownChatCount;
        form.invokeErrorOccurred(QString::fromUtf8(e.what()));
        return;
    }
    unknownChatCount = merge.unknownChatCount;
    restoredCount = merge.restoredCount;
    workPath = merge.workPath;
    for (const IOS6MessageMerge::File& f : merge.items)
        items.append({ f.domain, f.sourceFile, f.relativePath, f.overwrite, f.useSecondClassKey });
    for (const _MsgAttachment* a : std::as_const(merge.notAsWritten))
        notAsWritten.add(*a);
    form.invokeSucceed(QString());
}
