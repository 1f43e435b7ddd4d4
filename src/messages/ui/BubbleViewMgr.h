#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QUrl>
#include <atomic>
#include <functional>
#include <memory>

class MsgPreviewThread;
class PageFileWriter;
class QTimer;
class QWebEngineView;
class QWidget;
#include "messages/store/MsgMessage.h"

using MsgMessageList = QList<_MsgMessage*>;

// Shows a list of messages as chat bubbles in a web view, 50 messages a page, with links to the
// neighbouring pages. Link clicks never navigate: page links turn the page, attachment links open
// the file or offer to save a copy. The previews of pictures and contact cards are made on a thread
// of their own: a page shows placeholders until each is ready, then the preview in place of its
// placeholder. The web engine stays inside this class.
class BubbleViewMgr : public QObject
{
    Q_OBJECT
public:
    static constexpr int kPageSize = 50;

    explicit BubbleViewMgr(QObject* parent = nullptr);
    ~BubbleViewMgr() override;

    // Puts the web view into host (filling it) and connects it.
    void setWebview(QWidget* host);
    // The switches the web engine is to start with, given those already asked for
    // (QTWEBENGINE_CHROMIUM_FLAGS): helper processes that run unsandboxed anyway are launched
    // directly instead of through a zygote of their own, one process start less before the first
    // page; renderers keep their sandboxed zygote.
    static QByteArray engineSwitches(const QByteArray& asked);
    QWidget* webview() const;
    // Builds one page and loads it; pages outside 1..pageCount() are ignored.
    void gotoPage(int page);
    // The markup of one page (empty for a page outside 1..pageCount()), with the previews made so
    // far and placeholders for the others.
    QString pageHtml(int page) const;
    // How many previews of the current page are still being made.
    int previewsWaiting() const { return m_previewsWaiting; }

    int currentPage() const { return m_curPage; }
    int pageCount() const { return m_pageCount; }
    QString anchor() const { return m_anchor; }
    // Number of pages that finished loading so far (for tests and timing).
    int loadCount() const { return m_loads; }

    // Seams: how a file is handed to the desktop, and where a copy is saved (empty: cancelled).
    std::function<void(const QString&)> opener;
    std::function<QString(const QString& proposed)> askSavePath;

public slots:
    void showBubble(MsgMessageList smslist);
    void onLoadFinish(bool ok);
    void onLinkClicked(QUrl url);
    void firstPage();
    void previousPage();
    void nextPage();
    void lastPage();
    void scrollToPos(int ipos);

signals:
    void pageLoaded();
    // A preview of the current conversation was made (and put into the page when shown).
    void previewMade();

private:
    struct PageBuild;
    // Appends the markup of one message to html; once it passes room (UTF-16 units), what follows
    // is left out and *whole set false.
    using Previews = QHash<quintptr, QString>;
    // The markup of one page of msgs; stop, when given and set, ends it between two messages.
    static QString markup(const MsgMessageList& msgs, int page, int pageCount, const Previews& previews,
        const std::atomic<bool>* stop = nullptr);
    static void appendMessageHtml(QString& html, const _MsgMessage& m, int& lastDated, qsizetype room,
        bool* whole, const Previews& previews);
    static void appendAttachmentHtml(QString& html, const _MsgMessage& m, const QString& sender,
        qsizetype room, bool* whole, const Previews& previews);
    // Builds the page's markup and shows it, then starts its previews when thenPreviews: at once for
    // a page of short texts, else beside the window (long texts take their time to be marked up).
    void buildPage(int page, bool thenPreviews);
    void onPageBuilt(const std::shared_ptr<PageBuild>& build);
    // Stops the builds under way and waits for them (one message at most): before the records go.
    void endBuilds();
    void setPageHtml(const QString& html, QByteArray bytes = QByteArray());
    void onPageWritten(quint64 request, const QString& path, const QString& why);
    static QUrl pageBase();
    void scrollToAnchor();
    void saveAttachment(const QString& path);
    // Starts the previews of the page; room: the markup the page may still take.
    void startPreviews(int page, qsizetype room);
    void stopPreviews();
    void onPreviewReady(quintptr key, const QString& html);
    void showPreviews(bool all);

    QWebEngineView* m_view = nullptr;
    MsgMessageList m_msgs;
    int m_curPage = 0;
    int m_pageCount = 0;
    QString m_anchor;
    int m_loads = 0;
    PageFileWriter* m_pageWriter = nullptr; // pages too big to hand over as text
    quint64 m_pageRequest = 0; // the page last asked for: a page written later than it is not shown

    QPointer<MsgPreviewThread> m_previewThread; // deletes itself when ended
    quint64 m_previewRun = 0; // tells a stopped thread's previews from the current one's
    int m_previewsWaiting = 0;
    QHash<quintptr, QString> m_previews; // of the current conversation, by attachment
    QList<quintptr> m_lateKeys; // made since the current page's markup, in the order made
    qsizetype m_lateShown = 0; // how many of them were put into the page
    QSet<quintptr> m_textKeys; // the texts among the previews, read again for each page
    int m_textsWaiting = 0; // of the current page, still being read
    QTimer* m_showTimer = nullptr; // puts the previews made meanwhile into the page at once
    std::shared_ptr<PageBuild> m_build; // the page's markup being built beside the window
    QList<std::shared_ptr<PageBuild>> m_builds; // every build still running, stopped ones too
};
