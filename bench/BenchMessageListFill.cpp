// Filling the message list and the conversation view's first page from a list of 10,000
// messages, against a baseline made of the toolkit's own pieces doing the least the same
// screen needs: a string list model of the texts, and a text browser given the finished
// page (the document our view rendered). Both are shown and laid out, so the ratio is the
// cost of our models and page building over the toolkit's rendering. Exits 1 above 3.
#include "model/MsgChat.h"
#include "model/MsgHandle.h"
#include "model/MsgMessage.h"
#include "ui/ItemModelSms.h"
#include "ui/MyTreeView.h"
#include "ui/SmsBrowser.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListView>
#include <QStringListModel>
#include <QTextBrowser>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <memory>
#include <vector>

namespace {

constexpr int messageCount = 10000;
constexpr int rounds = 5;
constexpr double allowedRatio = 3.0;

template<class Run>
double bestMs(Run run)
{
    double best = std::numeric_limits<double>::max();
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        run();
        QCoreApplication::processEvents();
        best = std::min(best, double(timer.nsecsElapsed()) / 1e6);
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    _MsgHandle handle;
    handle.id = QStringLiteral("+14155550100");
    _MsgChat chat;
    chat.handles.insert(handle.id, &handle);
    std::vector<std::unique_ptr<_MsgMessage>> owned;
    QList<_MsgMessage*> list;
    QStringList texts;
    for (int i = 0; i < messageCount; ++i) {
        auto m = std::make_unique<_MsgMessage>();
        m->rowid = i + 1;
        m->text = QStringLiteral("Message number %1 with some ordinary text in it").arg(i);
        m->date = 600000000 + 60 * i;
        m->is_from_me = i & 1;
        m->chat = &chat;
        m->handle = &handle;
        list << m.get();
        texts << m->text;
        owned.push_back(std::move(m));
    }

    ItemModelSms model(nullptr);
    MyTreeView view(nullptr);
    view.setModel(&model);
    SmsBrowser conversation(nullptr);
    view.show();
    conversation.show();
    const double ours = bestMs([&] {
        model.setMessages({});
        model.setMessages(list);
        conversation.setMessages(list);
    });

    QStringListModel baselineModel;
    QListView baselineView;
    baselineView.setUniformItemSizes(true);
    baselineView.setModel(&baselineModel);
    QTextBrowser baselinePage;
    const QString page = conversation.document()->toHtml();
    baselineView.show();
    baselinePage.show();
    const double baseline = bestMs([&] {
        baselineModel.setStringList({});
        baselineModel.setStringList(texts);
        baselinePage.clear();
        baselinePage.setHtml(page);
    });

    const double ratio = ours / std::max(baseline, 0.001);
    std::printf("message list and first page of %d messages: %.2f ms, baseline %.2f ms, ratio %.2f\n", messageCount,
                ours, baseline, ratio);
    return ratio > allowedRatio ? 1 : 0;
}
