#include "ui/SmsBrowser.h"

#include "actions/export/HtmlEscapeText.h"
#include "frame/DataFolder.h"
#include "frame/ShellOpen.h"
#include "model/MsgMessage.h"
#include "ui/ItemModelSms.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextCursor>

namespace {

const char defaultStyleSheet[] =
    ".t{font-size:13px;padding:5px 10px} .c,.sc{font-size:14px;padding:5px 10px;background-color:#EEEEEE;}"
    ".send{/*background-color:#CEE0EC;*/} .send .t{color:#008040;}.rec{/*background-color:#F5FFE2;*/} "
    ".rec .t{color:#0000FF;}";

QString messageHtml(const _MsgMessage& m)
{
    const bool sent = m.is_from_me != 0;
    QString html = QStringLiteral("<a name=\"sms_%1\"></a>").arg(m.rowid);
    html += QStringLiteral("<table class=\"%1\" width=\"100%\" cellpadding=\"0\" border=\"0\" cellspacing=\"0\">")
                .arg(sent ? QStringLiteral("send") : QStringLiteral("rec"));
    const QString halfTitle = QStringLiteral("<td width=\"50%\" class=\"st\"></td>");
    const QString halfText = QStringLiteral("<td width=\"50%\" class=\"sc\"></td>");
    // One substitution for all three: the escaped name may itself hold "%1".
    const QString title = QStringLiteral("<td width=\"50%\" class=\"t\">%1<br/>%2 %3</td>")
                              .arg(shortDateTimeText(m.date), sent ? QStringLiteral("To:") : QStringLiteral("From:"),
                                   htmlEscapeText(m.senderName()));
    const QString body = QStringLiteral("<td width=\"50%\" class=\"c\">%1</td>").arg(htmlEscapeText(m.displayText()));
    html += sent ? QStringLiteral("<tr>") + halfTitle + title + QStringLiteral("</tr>")
                 : QStringLiteral("<tr>") + title + halfTitle + QStringLiteral("</tr>");
    html += sent ? QStringLiteral("<tr>") + halfText + body + QStringLiteral("</tr>")
                 : QStringLiteral("<tr>") + body + halfText + QStringLiteral("</tr>");
    html += QStringLiteral("</table>");
    return html;
}

bool isInside(const QString& canonicalPath, const QString& folder)
{
    const QString canonicalFolder = QFileInfo(folder).canonicalFilePath();
    if (canonicalFolder.isEmpty())
        return false;
    return canonicalPath == canonicalFolder || canonicalPath.startsWith(canonicalFolder + QLatin1Char('/'));
}

} // namespace

bool isInsideProgramFolders(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty())
        return false;
    return isInside(canonical, appDataDir().absolutePath())
           || isInside(canonical, QCoreApplication::applicationDirPath());
}

SmsBrowser::SmsBrowser(QWidget* parent)
    : QTextBrowser(parent)
{
    pageDocument.setDefaultStyleSheet(QString::fromLatin1(defaultStyleSheet));
    setDocument(&pageDocument);
    setOpenLinks(false);
    setOpenExternalLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &SmsBrowser::onAnchorClicked);
}

void SmsBrowser::setMessages(const QList<_MsgMessage*>& messages)
{
    list = messages;
    if (list.isEmpty()) {
        curPage = 0;
        pages = 0;
        clear();
        return;
    }
    pages = int((list.size() + pageSize - 1) / pageSize);
    firstPage();
}

void SmsBrowser::clear()
{
    list.clear();
    setPageHtml(QString());
}

void SmsBrowser::firstPage()
{
    curPage = 1;
    showPage(curPage);
    moveCursor(QTextCursor::Start);
}

void SmsBrowser::previousPage()
{
    if (curPage < 2)
        return;
    showPage(--curPage);
    moveCursor(QTextCursor::End);
}

void SmsBrowser::nextPage()
{
    if (curPage >= pages)
        return;
    showPage(++curPage);
    moveCursor(QTextCursor::Start);
}

void SmsBrowser::lastPage()
{
    curPage = pages;
    showPage(curPage);
    moveCursor(QTextCursor::End);
}

void SmsBrowser::scrollToMessage(int index)
{
    if (index < 0 || index >= list.size())
        return;
    const int page = index / pageSize + 1;
    if (page != curPage) {
        curPage = page;
        showPage(curPage);
    }
    QMetaObject::invokeMethod(this, "scrollToAnchor", Qt::QueuedConnection,
                              Q_ARG(QString, QStringLiteral("sms_%1").arg(list.at(index)->rowid)));
}

void SmsBrowser::showPage(int page)
{
    if (page < 1 || page > pages)
        return;
    QString html = QStringLiteral("<a name=\"start\"></a>");
    if (page != 1)
        html += QStringLiteral("<p><a href=\"/pre_page\">&lt;&lt;Previous Page</a></p>");
    const qsizetype end = qMin(list.size(), qsizetype(page) * pageSize);
    for (qsizetype i = qsizetype(page - 1) * pageSize; i < end; ++i)
        html += messageHtml(*list.at(i));
    if (page != pages)
        html += QStringLiteral("<p><a href=\"/next_page\">&gt;&gt;Next Page</a></p>");
    html += QStringLiteral("<a name=\"end\"></a>");
    setPageHtml(html);
}

void SmsBrowser::onAnchorClicked(const QUrl& link)
{
    const QString path = link.path();
    if (path == QLatin1String("/pre_page")) {
        previousPage();
    } else if (path == QLatin1String("/next_page")) {
        nextPage();
    } else if (link.isLocalFile() && isInsideProgramFolders(link.toLocalFile())) {
        openInExplorer(link.toLocalFile());
    }
}

void SmsBrowser::setPageHtml(const QString& html)
{
    setUpdatesEnabled(false);
    pageDocument.setHtml(html);
    setUpdatesEnabled(true);
}

void SmsBrowser::moveCursor(QTextCursor::MoveOperation where)
{
    QTextCursor cursor = textCursor();
    cursor.movePosition(where);
    setTextCursor(cursor);
}
