#include "messages/ui/BubbleViewMgr.h"

#include "app/DataPaths.h"
#include "app/ShownText.h"
#include "app/WrittenDisks.h"
#include "app/ui/shared/OffThread.h"
#include "app/ui/shared/PageLife.h"
#include "app/ui/shared/Tips.h"
#include "contacts/export/VCardThumbnail.h"
#include "messages/store/MsgAttachment.h"
#include "messages/store/MsgChat.h"
#include "messages/store/MsgHandle.h"
#include "messages/store/MsgMessage.h"
#include "messages/store/MsgText.h"
#include "messages/ui/AttachmentFileCopy.h"
#include "messages/ui/BubbleHtml.h"
#include "messages/ui/MsgPreviewThread.h"
#include "messages/ui/PageFileWriter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <algorithm>
#include <cmath>
#include <unistd.h>

namespace
{
// QWebEngineView::setHtml refuses content above 2 MB, and takes its time on the window's thread
// with a few hundred kB (it makes an address of the whole page): bigger pages go through a private
// file, written beside the window.
constexpr qsizetype kSetHtmlLimit = 256 * 1024;
// The most markup one page is built to (in UTF-16 units), past one bubble: what a message or its
// attachments hold never costs the page more.
constexpr qsizetype kPageHtmlBudget = 8 * 1024 * 1024;
constexpr char kPageCut[]
    = "<div class=\"sysif\">[Cut here: the rest of this page is too long to be shown.]</div>";
constexpr char kEngineSwitchesVar[] = "QTWEBENGINE_CHROMIUM_FLAGS";
constexpr char kNoSandboxVar[] = "QTWEBENGINE_DISABLE_SANDBOX";
constexpr char kImgAttrs[] = "style=\"max-width:120px;max-height:120px\"";
constexpr char kCardAttrs[] = "style=\"max-width:200px;max-height:200px\"";

// A page that hands every clicked link to a callback instead of following it.
// A page that hands clicked links to its owner as linkClicked(QUrl) instead of following them.
class DelegatingPage : public QWebEnginePage
{
    Q_OBJECT
public:
    using QWebEnginePage::QWebEnginePage;

signals:
    void linkClicked(const QUrl& url);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override
    {
        Q_UNUSED(isMainFrame);
        if (type != NavigationTypeLinkClicked)
            return true;
        emit linkClicked(url);
        return false;
    }
};

// The bubbles' style in the page itself (no file to fetch); linked when it cannot be read.
QString styleHtml()
{
    const QString style = bubbleInlineStyle();
    if (style.isEmpty())
        return QStringLiteral("<link href=\"%1\" type=\"text/css\" rel=\"stylesheet\"/>")
            .arg(bubbleAssetUrl(QStringLiteral("style.css")));
    return QStringLiteral("<style type=\"text/css\">") + style + QStringLiteral("</style>");
}

// Run as root, the engine ends the program when its sandbox is on; switched off by the variable
// it reads when it starts, and said in the log. The view's own settings stay as they are.
void allowEngineAsRoot()
{
    if (::geteuid() != 0 || qEnvironmentVariableIsSet(kNoSandboxVar))
        return;
    qputenv(kNoSandboxVar, "1");
    qWarning("Running as root: the web engine's sandbox is switched off (%s=1).", kNoSandboxVar);
}

// A page for view. The engine starts with the first page made and reads its switches then;
// programs started later from this one see the variable as it was.
DelegatingPage* newPage(QWebEngineView* view)
{
    allowEngineAsRoot();
    const QByteArray asked = qgetenv(kEngineSwitchesVar);
    const bool wasSet = qEnvironmentVariableIsSet(kEngineSwitchesVar);
    qputenv(kEngineSwitchesVar, BubbleViewMgr::engineSwitches(asked));
    auto* page = new DelegatingPage(view);
    if (wasSet)
        qputenv(kEngineSwitchesVar, asked);
    else
        qunsetenv(kEngineSwitchesVar);
    return page;
}

QString tr(const char* key)
{
    return QCoreApplication::translate("SMSMainForm", key);
}

QString senderText(const _MsgMessage& m)
{
    if (m._chat && m._chat->isGroup() && !m.is_from_me && m._sender)
        return ShownText::line(m._sender->displayName(false));
    return QString();
}

QString linkHtml(const QString& path, const char* label)
{
    return QStringLiteral("<a href=\"%1\">%2</a>")
        .arg(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded), QLatin1String(label));
}

bool isPicture(const _MsgAttachment& a)
{
    return a.mime_type.startsWith(QLatin1String("image/"), Qt::CaseInsensitive);
}

bool isCard(const _MsgAttachment& a)
{
    return a.mime_type.compare(QLatin1String("text/x-vCard"), Qt::CaseInsensitive) == 0
        || a.mime_type.compare(QLatin1String("text/vcard"), Qt::CaseInsensitive) == 0;
}

bool isText(const _MsgAttachment& a)
{
    return a.mime_type.compare(QLatin1String("text/plain"), Qt::CaseInsensitive) == 0;
}

// Whether the attachment's preview is made on the preview thread: a picture, a card whose copy is
// what the phone wrote (no card is drawn from another), or a text, which is read there.
bool hasPreview(const _MsgAttachment& a)
{
    return isPicture(a) || (isCard(a) && a._notAsWritten.isEmpty()) || isText(a);
}

// The attachment's preview as its bubble shows it. Reads and decodes: the preview thread's work.
QString previewHtml(const _MsgAttachment& a)
{
    QString why;
    if (isText(a)) {
        // A text a failing disk cut short is not shown as if whole: its bubble says why. One that
        // cannot be opened has no bubble (a null text).
        QString text;
        if (!a.plainText(&text, &why) && why.isEmpty())
            return QString();
        return g_htmlEncode(why.isEmpty() ? text : why);
    }
    if (isPicture(a)) {
        const QString thumb = a.thumbnail(&why);
        if (QFileInfo(thumb).isFile())
            return imgClickableHtml(a._path, thumb, QLatin1String(kImgAttrs));
        // The placeholder: what it stands for is said under it.
        return imgClickableHtml(a._path, QString(), QLatin1String(kImgAttrs))
            + placeholderCaptionHtml(a, why);
    }
    // A card the disk would not read whole is not drawn: its bubble says why.
    const QString card = vcard_thumbnail(a._path, &why);
    return QFileInfo(card).isFile() ? imgClickableHtml(a._path, card, QLatin1String(kCardAttrs))
        : why.isEmpty()             ? linkHtml(a._path, "[VCARD]")
                                    : g_htmlEncode(why);
}

QString previewId(quintptr key)
{
    return QStringLiteral("qmp") + QString::number(key, 16);
}

// The preview when made, else what stands for it until then (the placeholder picture, the card's
// link) in an element the preview is later put into.
QString previewOrPending(const _MsgAttachment& a, const QHash<quintptr, QString>& made)
{
    const auto it = made.constFind(quintptr(&a));
    if (it != made.cend())
        return *it;
    const QString pending = isPicture(a) ? imgClickableHtml(a._path, QString(), QLatin1String(kImgAttrs))
                                         : linkHtml(a._path, "[VCARD]");
    return QStringLiteral("<span id=\"") + previewId(quintptr(&a)) + QStringLiteral("\">") + pending
        + QStringLiteral("</span>");
}

} // namespace

BubbleViewMgr::BubbleViewMgr(QObject* parent)
    : QObject(parent)
    , opener(g_openFileOrFolder)
    , m_showTimer(new QTimer(this))
{
    askSavePath = [](const QString& proposed) {
        return QFileDialog::getSaveFileName(nullptr, tr("IDS_SAVE_ATTACHMENT"), proposed);
    };
    // Previews made one soon after another go into the page together.
    m_showTimer->setSingleShot(true);
    m_showTimer->setInterval(0);
    connect(m_showTimer, &QTimer::timeout, this, [this] { showPreviews(false); });
}

// A page whose texts pass this many characters is marked up beside the window.
constexpr qsizetype kMarkupAtOnce = 256 * 1024;

// One build of a page's markup on a thread of its own; the hold keeps the page while it runs.
struct BubbleViewMgr::PageBuild {
    std::atomic<bool> stop = false;
    std::unique_ptr<QThread> thread;
    std::unique_ptr<PageLife::Hold> hold;
    int page = 0;
    bool thenPreviews = false;
    QString html;
    QByteArray bytes;
};

BubbleViewMgr::~BubbleViewMgr()
{
    endBuilds();
    stopPreviews();
}

QByteArray BubbleViewMgr::engineSwitches(const QByteArray& asked)
{
    static const QByteArray noHelperZygote("--no-unsandboxed-zygote");
    const QList<QByteArray> words = asked.simplified().split(' ');
    if (words.contains(noHelperZygote))
        return asked;
    return asked.trimmed().isEmpty() ? noHelperZygote : asked + ' ' + noHelperZygote;
}

void BubbleViewMgr::setWebview(QWidget* host)
{
    auto* layout = new QVBoxLayout(host);
    layout->setContentsMargins(0, 0, 0, 0);
    m_view = new QWebEngineView(host);
    m_view->setContextMenuPolicy(Qt::NoContextMenu);
    auto* page = newPage(m_view);
    connect(page, &DelegatingPage::linkClicked, this, &BubbleViewMgr::onLinkClicked);
    m_view->setPage(page);
    layout->addWidget(m_view);
    connect(m_view, &QWebEngineView::loadFinished, this, &BubbleViewMgr::onLoadFinish);
    m_view->setUrl(QUrl(QStringLiteral("about:blank")));
}

QWidget* BubbleViewMgr::webview() const
{
    return m_view;
}

void BubbleViewMgr::showBubble(MsgMessageList smslist)
{
    endBuilds(); // the records shown so far may go once this returns
    stopPreviews();
    m_previews.clear(); // by attachment: those shown before may be gone
    m_msgs = std::move(smslist);
    if (m_msgs.isEmpty()) {
        m_curPage = 0;
        m_pageCount = 0;
        if (m_view)
            m_view->setHtml(QString(), QUrl());
        return;
    }
    m_pageCount = int(std::ceil(m_msgs.size() / double(kPageSize)));
    firstPage();
}

void BubbleViewMgr::firstPage()
{
    if (m_pageCount < 1)
        return;
    m_curPage = 1;
    m_anchor = QStringLiteral("start");
    gotoPage(m_curPage);
}

void BubbleViewMgr::lastPage()
{
    if (m_pageCount < 1)
        return;
    m_curPage = m_pageCount;
    m_anchor = QStringLiteral("end");
    gotoPage(m_curPage);
}

void BubbleViewMgr::previousPage()
{
    if (m_curPage < 2)
        return;
    m_anchor = QStringLiteral("end");
    gotoPage(--m_curPage);
}

void BubbleViewMgr::nextPage()
{
    if (m_curPage >= m_pageCount)
        return;
    m_anchor = QStringLiteral("start");
    gotoPage(++m_curPage);
}

void BubbleViewMgr::scrollToPos(int ipos)
{
    if (ipos < 0 || ipos >= m_msgs.size())
        return;
    const int page = int(std::ceil((ipos + 1) / double(kPageSize)));
    m_anchor = QStringLiteral("sms_%1").arg(m_msgs.at(ipos)->rowid);
    if (page != m_curPage) {
        m_curPage = page;
        gotoPage(page);
    } else {
        scrollToAnchor();
    }
}

void BubbleViewMgr::onLoadFinish(bool)
{
    ++m_loads;
    // Those made while the page loaded; put in before the page scrolls to the anchor.
    showPreviews(true);
    scrollToAnchor();
    emit pageLoaded();
}

void BubbleViewMgr::scrollToAnchor()
{
    if (!m_view || m_anchor.isEmpty())
        return;
    // Anchor names are "start", "end" or "sms_<rowid>": no quoting needed.
    m_view->page()->runJavaScript(
        QStringLiteral(
            "(function(){var a=document.getElementsByName('%1')[0];if(a)a.scrollIntoView(%2);})();")
            .arg(m_anchor,
                m_anchor == QLatin1String("end") ? QStringLiteral("false") : QStringLiteral("true")));
}

void BubbleViewMgr::gotoPage(int page)
{
    if (page < 1 || page > m_pageCount)
        return;
    m_lateKeys.clear();
    m_lateShown = 0;
    // Texts are read again for each page shown: the conversation keeps no more of them than a page.
    for (const quintptr key : std::as_const(m_textKeys))
        m_previews.remove(key);
    m_textKeys.clear();
    buildPage(page, true);
}

void BubbleViewMgr::buildPage(int page, bool thenPreviews)
{
    if (m_build)
        m_build->stop = true;
    m_build.reset();
    qsizetype texts = 0;
    const int end = qMin<int>(m_msgs.size(), page * kPageSize);
    for (int i = qMax(0, (page - 1) * kPageSize); i < end && texts <= kMarkupAtOnce; ++i)
        texts += m_msgs.at(i)->subject.size() + m_msgs.at(i)->text().size();
    for (const quintptr key : std::as_const(m_textKeys))
        texts += m_previews.value(key).size();
    if (texts <= kMarkupAtOnce) {
        const QString html = pageHtml(page);
        if (thenPreviews)
            startPreviews(page, kPageHtmlBudget - html.size());
        setPageHtml(html);
        return;
    }
    ++m_pageRequest; // a page asked for before is not shown once built
    auto build = std::make_shared<PageBuild>();
    build->page = page;
    build->thenPreviews = thenPreviews;
    build->hold = std::make_unique<PageLife::Hold>(m_view ? static_cast<QObject*>(m_view) : this);
    build->thread.reset(
        QThread::create([b = build.get(), msgs = m_msgs, count = m_pageCount, previews = m_previews] {
            b->html = markup(msgs, b->page, count, previews, &b->stop);
            if (!b->stop)
                b->bytes = b->html.toUtf8();
        }));
    connect(
        build->thread.get(), &QThread::finished, this,
        [this, weak = std::weak_ptr<PageBuild>(build)] {
            if (const std::shared_ptr<PageBuild> built = weak.lock())
                onPageBuilt(built);
        },
        Qt::QueuedConnection);
    m_build = build;
    m_builds.append(build);
    build->thread->start();
}

void BubbleViewMgr::onPageBuilt(const std::shared_ptr<PageBuild>& build)
{
    m_builds.removeOne(build);
    build->thread->wait();
    if (build != m_build)
        return; // another page was asked for meanwhile
    m_build.reset();
    if (build->thenPreviews)
        startPreviews(build->page, kPageHtmlBudget - build->html.size());
    setPageHtml(build->html, std::move(build->bytes));
}

void BubbleViewMgr::endBuilds()
{
    m_build.reset();
    for (const std::shared_ptr<PageBuild>& build : std::as_const(m_builds))
        build->stop = true;
    for (const std::shared_ptr<PageBuild>& build : std::as_const(m_builds))
        build->thread->wait();
    m_builds.clear();
}

void BubbleViewMgr::startPreviews(int page, qsizetype room)
{
    stopPreviews();
    QList<MsgPreviewThread::Job> jobs;
    const int end = qMin<int>(m_msgs.size(), page * kPageSize);
    for (int i = (page - 1) * kPageSize; i < end; ++i) {
        const _MsgMessage& m = *m_msgs.at(i);
        if (m.item_type != 0 || m._attachments.isEmpty())
            continue;
        for (const _MsgAttachment* a : m.attachments())
            if (hasPreview(*a) && !m_previews.contains(quintptr(a))) {
                jobs.append({ quintptr(a), *a });
                if (isText(*a)) {
                    m_textKeys.insert(quintptr(a));
                    ++m_textsWaiting;
                }
            }
    }
    if (m_anchor == QLatin1String("end"))
        std::reverse(jobs.begin(), jobs.end()); // the end of the page is seen first
    m_previewsWaiting = int(jobs.size());
    if (jobs.isEmpty())
        return;
    // The texts read cost the page no more than its markup may still take: past that, each says it
    // is left out, unread.
    auto left = std::make_shared<qsizetype>(room);
    m_previewThread = new MsgPreviewThread(std::move(jobs), [left](const _MsgAttachment& a) {
        if (!isText(a))
            return QVariant(previewHtml(a));
        const QString html = *left > 0 ? previewHtml(a) : QString(kPageCut);
        *left -= html.size();
        return QVariant(*left >= 0 ? html : QString(kPageCut));
    });
    const quint64 run = m_previewRun;
    connect(m_previewThread, &MsgPreviewThread::previewReady, this,
        [this, run](quintptr key, const QVariant& html) {
            if (run == m_previewRun)
                onPreviewReady(key, html.toString());
        });
    m_previewThread->start();
}

// Leaves the thread to end on its own: the page never waits for a picture being read.
void BubbleViewMgr::stopPreviews()
{
    ++m_previewRun;
    m_previewsWaiting = 0;
    m_textsWaiting = 0;
    if (m_previewThread)
        m_previewThread->cancel();
    m_previewThread = nullptr;
}

void BubbleViewMgr::onPreviewReady(quintptr key, const QString& html)
{
    m_previews.insert(key, html);
    --m_previewsWaiting;
    if (m_textKeys.contains(key)) {
        // Texts go into the page built again, with what was made so far, once all of them are read:
        // the page's own bound applies, and a big one goes through its file.
        if (--m_textsWaiting == 0) {
            m_lateKeys.clear();
            m_lateShown = 0;
            buildPage(m_curPage, false);
        }
        emit previewMade();
        return;
    }
    m_lateKeys.append(key);
    if (m_view && !m_showTimer->isActive())
        m_showTimer->start();
    emit previewMade();
}

// Puts the previews made since the page's markup into the page: all of them once it has loaded (a
// page still loading may have missed some), else those not yet put in. Each goes in once.
void BubbleViewMgr::showPreviews(bool all)
{
    const qsizetype from = all ? 0 : m_lateShown;
    if (!m_view || from >= m_lateKeys.size())
        return;
    QJsonArray pairs;
    for (qsizetype i = from; i < m_lateKeys.size(); ++i) {
        const quintptr key = m_lateKeys.at(i);
        pairs.append(previewId(key));
        pairs.append(m_previews.value(key));
    }
    m_lateShown = m_lateKeys.size();
    m_view->page()->runJavaScript(
        QStringLiteral("(function(p){for(var i=0;i<p.length;i+=2){var e=document.getElementById(p[i]);"
                       "if(e){e.removeAttribute('id');e.innerHTML=p[i+1];}}})(")
        + QString::fromUtf8(QJsonDocument(pairs).toJson(QJsonDocument::Compact)) + QStringLiteral(");"));
}

void BubbleViewMgr::setPageHtml(const QString& html, QByteArray bytes)
{
    if (!m_view)
        return;
    const quint64 request = ++m_pageRequest;
    if (bytes.isEmpty())
        bytes = html.toUtf8();
    if (bytes.size() < kSetHtmlLimit) {
        m_view->setHtml(html, pageBase());
        return;
    }
    if (!m_pageWriter) {
        m_pageWriter = new PageFileWriter(this);
        connect(m_pageWriter, &PageFileWriter::written, this, &BubbleViewMgr::onPageWritten);
    }
    m_pageWriter->write(request, std::move(bytes));
}

void BubbleViewMgr::onPageWritten(quint64 request, const QString& path, const QString& why)
{
    if (!m_view || request != m_pageRequest)
        return; // another page was asked for meanwhile
    if (why.isEmpty())
        m_view->load(QUrl::fromLocalFile(path));
    else // the page says why it is empty (a full disk where temporary files go)
        m_view->setHtml(QStringLiteral("<p>%1</p>").arg(why.toHtmlEscaped()), QUrl());
}

QUrl BubbleViewMgr::pageBase()
{
    return QUrl::fromLocalFile(QFileInfo(g_bubbleDir()).absolutePath() + QLatin1Char('/'));
}

QString BubbleViewMgr::pageHtml(int page) const
{
    return markup(m_msgs, page, m_pageCount, m_previews);
}

QString BubbleViewMgr::markup(const MsgMessageList& msgs, int page, int pageCount, const Previews& previews,
    const std::atomic<bool>* stop)
{
    if (page < 1 || page > pageCount)
        return QString();
    QString html = QStringLiteral("<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
                                  "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">"
                                  "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head>"
                                  "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\"/>"
                                  "<title>Bubble</title>");
    html += styleHtml();
    html += QStringLiteral("</head><body><a name=\"start\"></a>");
    if (page != 1)
        html += QStringLiteral("<p><a href=\"/pre_page\">&lt;&lt;Previous Page</a></p>");
    const int end = qMin<int>(msgs.size(), page * kPageSize);
    int lastDated = 0;
    const qsizetype head = html.size();
    bool whole = true;
    for (int i = (page - 1) * kPageSize; i < end && whole && !(stop && *stop); ++i)
        appendMessageHtml(
            html, *msgs.at(i), lastDated, kPageHtmlBudget - (html.size() - head), &whole, previews);
    if (!whole)
        html += QLatin1String(kPageCut);
    if (page != pageCount)
        html += QStringLiteral("<p><a href=\"/next_page\">&gt;&gt;Next Page</a></p>");
    html += QStringLiteral("<a name=\"end\"></a></body></html>");
    return html;
}

void BubbleViewMgr::appendMessageHtml(QString& html, const _MsgMessage& m, int& lastDated, qsizetype room,
    bool* whole, const Previews& previews)
{
    if (room <= 0) {
        *whole = false;
        return;
    }
    const qsizetype start = html.size();
    html += QStringLiteral("<a name=\"sms_%1\"></a>").arg(m.rowid);
    if (m.item_type != 0) {
        html += QStringLiteral("<div class=\"sysif\">%1</div>")
                    .arg(g_htmlEncode(ShownText::line(m.summary())));
        return;
    }
    const QString sender = senderText(m);
    const QDateTime when = dtFromDate21(m.date);
    const qint64 t = when.toSecsSinceEpoch();
    if (qint32(t - lastDated) >= 61) {
        html += QStringLiteral("<div class=\"dt\">%1</div>")
                    .arg(QLocale::c().toString(when, QStringLiteral("dd MMM yyyy h:m AP")));
        lastDated = int(t);
    }
    QString body;
    if (!m.subject.isEmpty())
        body = QStringLiteral("<Subject:%1>\n").arg(m.subject);
    const QString text = m.text();
    if (!text.isEmpty())
        body += text;
    body = msgShownText(body.trimmed());
    if (!body.isEmpty() || m._attachments.isEmpty())
        appendBubble(html, g_htmlEncode(body), m.is_from_me != 0, sender);
    appendAttachmentHtml(html, m, sender, room - (html.size() - start), whole, previews);
}

void BubbleViewMgr::appendAttachmentHtml(QString& html, const _MsgMessage& m, const QString& sender,
    qsizetype room, bool* whole, const Previews& previews)
{
    const qsizetype start = html.size();
    const bool fromMe = m.is_from_me != 0;
    for (const _MsgAttachment* a : m.attachments()) {
        // Nothing more is read once the page is full.
        if (html.size() - start >= room) {
            *whole = false;
            break;
        }
        const QString path = a->_path;
        const QString mime = a->mime_type;
        QString content;
        if (hasPreview(*a) && !isText(*a)) {
            content = previewOrPending(*a, previews);
        } else if (mime.startsWith(QLatin1String("video/"), Qt::CaseInsensitive)) {
            content = linkHtml(path, "[VIDEO]");
        } else if (mime.startsWith(QLatin1String("audio/"), Qt::CaseInsensitive)) {
            content = linkHtml(path, "[AUDIO]");
        } else if (isCard(*a)) {
            content = linkHtml(path, "[VCARD]"); // a copy not as the phone wrote it is not drawn
        } else if (isText(*a)) {
            // Read on the preview thread: the page is built again once its texts are read.
            const auto made = previews.constFind(quintptr(a));
            if (made == previews.cend())
                content = QStringLiteral("\u2026");
            else if (made->isNull())
                continue; // a text that cannot be opened has no bubble
            else
                content = *made;
        } else {
            content = linkHtml(path, "[ATTACHMENT]");
        }
        appendBubble(html, content, fromMe, sender);
    }
}

void BubbleViewMgr::onLinkClicked(QUrl url)
{
    if (url.path() == QLatin1String("/pre_page"))
        return previousPage();
    if (url.path() == QLatin1String("/next_page"))
        return nextPage();
    if (!url.isLocalFile())
        return;
    const QString path = url.toLocalFile();
    const QFileInfo info(path);
    if (!info.isFile()) {
        Tips::warning(QStringLiteral("can not find %1.").arg(path.toHtmlEscaped()));
        return;
    }
    if (QStringLiteral("jpg jpeg png bmp gif mp3 mp4 mov").contains(info.suffix()))
        opener(path);
    else
        saveAttachment(path);
}

void BubbleViewMgr::saveAttachment(const QString& path)
{
    const QString dest = askSavePath(QDir::home().absoluteFilePath(QFileInfo(path).fileName()));
    if (dest.isEmpty())
        return;
    // Copied beside the target first: an existing file (or the attachment itself) is never lost.
    QString why;
    bool saved = false;
    // Beside the window, and saved once it is on the disk.
    OffThread::run([&] {
        if (copyAttachmentFile(path, dest, &why))
            saved = WrittenDisks::syncThisThread(&why);
        else
            WrittenDisks::forgetThisThread();
    });
    if (saved)
        Tips::info(tr("IDS_SAVE_ATTACHMENT_SUC"));
    else
        Tips::error(tr("IDS_SAVE_ATTACHMENT_FILE_ERROR") + QLatin1Char('\n') + why);
}

#include "BubbleViewMgr.moc"
