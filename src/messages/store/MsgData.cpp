#include "messages/store/MsgData.h"

#include <algorithm>
#include <cstring>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <new>

namespace
{
constexpr size_t kFirstBlock = 256;
constexpr size_t kLargestBlock = 65536;
constexpr size_t kKeyBlock = 65536; // UTF-16 units per block of key texts
constexpr qsizetype kBulkFree = 10000; // messages from which a model is freed in bulk

void setFastFree(bool on)
{
#ifdef __GLIBC__
    // 64 * sizeof(size_t) / 4 is glibc's own default.
    mallopt(M_MXFAST, on ? int(64 * sizeof(size_t) / 4) : 0);
#else
    Q_UNUSED(on);
#endif
}
} // namespace

__MsgData::~__MsgData()
{
    // Millions of small blocks go back at once: glibc's fast lists would only collect them to merge
    // them again later, which costs more than the freeing itself. Off while this model is freed.
    const bool bulk = messages.size() >= kBulkFree;
    if (bulk)
        setFastFree(false);
    qDeleteAll(attachments);
    // Messages of the blocks go with their blocks, in the order they were made; others one by one.
    if (m_blocks.empty())
        qDeleteAll(messages);
    else
        for (_MsgMessage* m : std::as_const(messages))
            if (!inBlocks(m))
                delete m;
    destroyBlocks();
    qDeleteAll(handles);
    qDeleteAll(chats);
    if (bulk)
        setFastFree(true);
}

_MsgMessage* __MsgData::slot()
{
    if (m_blocks.empty() || m_blocks.back().used == m_blocks.back().capacity) {
        const size_t capacity
            = m_blocks.empty() ? kFirstBlock : std::min(kLargestBlock, m_blocks.back().capacity * 2);
        m_blocks.emplace_back(); // may throw before anything is allocated
        try {
            m_blocks.back().first = static_cast<_MsgMessage*>(::operator new(capacity * sizeof(_MsgMessage)));
        } catch (...) {
            m_blocks.pop_back();
            throw;
        }
        m_blocks.back().capacity = capacity;
    }
    Block& b = m_blocks.back();
    return b.first + b.used;
}

_MsgMessage* __MsgData::newMessage()
{
    _MsgMessage* m = new (slot()) _MsgMessage;
    ++m_blocks.back().used;
    return m;
}

_MsgMessage* __MsgData::newMessage(const _MsgMessage& source)
{
    _MsgMessage* m = new (slot()) _MsgMessage(source);
    ++m_blocks.back().used;
    return m;
}

void __MsgData::adoptMessageStorage(__MsgData& other)
{
    // In front: the block this owner's new messages go into stays the last one.
    m_blocks.insert(m_blocks.begin(), other.m_blocks.begin(), other.m_blocks.end());
    other.m_blocks.clear();
}

bool __MsgData::inBlocks(const _MsgMessage* message) const
{
    // Newest blocks first: they are the largest and hold most messages.
    for (auto b = m_blocks.rbegin(); b != m_blocks.rend(); ++b)
        if (std::less_equal<const _MsgMessage*>()(b->first, message)
            && std::less<const _MsgMessage*>()(message, b->first + b->used))
            return true;
    return false;
}

void __MsgData::destroyBlocks()
{
    for (Block& b : m_blocks) {
        for (size_t i = 0; i < b.used; ++i)
            b.first[i].~_MsgMessage();
        ::operator delete(b.first);
    }
    m_blocks.clear();
}

QString __MsgData::messageKey(qint64 rowid)
{
    char digits[24];
    int n = 0;
    quint64 v = rowid < 0 ? 0 - quint64(rowid) : quint64(rowid);
    do {
        digits[n++] = char('0' + v % 10);
        v /= 10;
    } while (v);
    if (rowid < 0)
        digits[n++] = '-';
    std::reverse(digits, digits + n);
    if (m_keyBlocks.empty() || m_keyUsed + size_t(n) > kKeyBlock) {
        m_keyBlocks.push_back(std::make_unique<char16_t[]>(kKeyBlock));
        m_keyUsed = 0;
    }
    char16_t* text = m_keyBlocks.back().get() + m_keyUsed;
    for (int i = 0; i < n; ++i)
        text[i] = char16_t(digits[i]);
    m_keyUsed += size_t(n);
    return QString::fromRawData(reinterpret_cast<const QChar*>(text), n);
}

void __MsgData::removeMessage(_MsgMessage* message)
{
    if (!message)
        return;
    if (message->_chat)
        message->_chat->_messages.remove(QString::number(message->rowid));
    if (messages.value(message->rowid) == message)
        messages.remove(message->rowid);
    if (inBlocks(message)) {
        // The slot stays with its block: it is emptied now and destroyed with the block.
        message->~_MsgMessage();
        new (message) _MsgMessage;
    } else
        delete message;
}

void __MsgData::removeChat(_MsgChat* chat)
{
    if (!chat)
        return;
    // Messages still listed lose their link rather than keep a dangling one.
    for (_MsgMessage* m : chat->_messages)
        if (m && m->_chat == chat)
            m->_chat = nullptr;
    if (chats.value(chat->rowid) == chat)
        chats.remove(chat->rowid);
    delete chat;
}

MsgData::MsgData()
    : d(new __MsgData)
{
}

QList<_MsgChatMerge> MsgData::chatMergeList() const
{
    QHash<QString, _MsgChatMerge> groups;
    for (_MsgChat* c : d->chats) {
        auto it = groups.find(c->chat_identifier);
        if (it == groups.end()) {
            _MsgChatMerge g;
            g.chats << c;
            g._last = c->_last;
            groups.insert(c->chat_identifier, g);
        } else {
            it->chats << c;
            if (c->_last > it->_last)
                it->_last = c->_last;
        }
    }
    return groups.values();
}
