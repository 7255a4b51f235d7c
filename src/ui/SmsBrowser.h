#pragma once

#include <QList>
#include <QTextBrowser>
#include <QTextDocument>
#include <QUrl>

struct _MsgMessage;

// The conversation view: the listed messages as blocks, received ones on the left and
// sent ones on the right, 50 to a page with links to the neighbouring pages. Holds the
// same records as the message list, never owning them. GUI thread.
class SmsBrowser : public QTextBrowser
{
    Q_OBJECT

public:
    static constexpr int pageSize = 50;

    explicit SmsBrowser(QWidget* parent);

    void setMessages(const QList<_MsgMessage*>& list);
    // Empties the list and the page; the page numbers stay until the next setMessages.
    void clear();
    void firstPage();
    void previousPage();
    void nextPage();
    void lastPage();
    // index: a position in the list. Shows its page when needed, then scrolls to the
    // message once the page is laid out.
    void scrollToMessage(int index);
    void showPage(int page);

    int currentPage() const { return curPage; }
    int pageCount() const { return pages; }

public slots:
    void onAnchorClicked(const QUrl& link);

private:
    void setPageHtml(const QString& html);
    void moveCursor(QTextCursor::MoveOperation where);

    QTextDocument pageDocument;
    QList<_MsgMessage*> list;
    int pages = 0;
    int curPage = 0;
};

// Whether path lies inside one of the program's own folders (its data folder or the
// folder of the program), after links and "..", so that a link in a message cannot
// point the file manager anywhere else.
bool isInsideProgramFolders(const QString& path);
