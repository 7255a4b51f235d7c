#include "actions/export/ExportSMSHtml.h"

#include "actions/export/ExportFixture.h"
#include "actions/export/HtmlEscapeText.h"
#include "actions/export/MessageHeadings.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

namespace {

// What html.parser sees: the doctype, the title, per message block its anchor, colour,
// header texts and body (a <br/> element read as "\n"), and the dir of each text cell.
const char readBlocks[] = R"(
import html.parser, json, sys
class Reader(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.doctype = ''; self.title = ''; self.blocks = []; self.stack = []; self.intitle = False
    def handle_decl(self, decl): self.doctype = decl
    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == 'title': self.intitle = True
        if tag == 'a': self.blocks.append({'anchor': a.get('name'), 'colour': '', 'texts': [], 'body': '', 'dirs': []})
        if tag == 'div':
            style = a.get('style') or ''
            if 'color:' not in style: self.blocks[-1]['dirs'].append(a.get('dir'))
            if 'color:' in style: self.blocks[-1]['colour'] = style.split('color:')[1].split(';')[0]
            self.stack.append('body' if 'font-size:14px' in style else 'text')
            if self.stack[-1] == 'text' and 'color:' not in style: self.blocks[-1]['texts'].append('')
        if tag == 'br' and self.stack and self.stack[-1] == 'body': self.blocks[-1]['body'] += '\n'
    def handle_endtag(self, tag):
        if tag == 'title': self.intitle = False
        if tag == 'div': self.stack.pop()
    def handle_data(self, data):
        if self.intitle: self.title += data
        elif self.stack and self.stack[-1] == 'body': self.blocks[-1]['body'] += data
        elif self.stack and self.blocks and self.blocks[-1]['texts']: self.blocks[-1]['texts'][-1] += data
r = Reader(); r.feed(open(sys.argv[1], encoding='utf-8', newline='').read()); r.close()
print(json.dumps({'doctype': r.doctype, 'title': r.title, 'blocks': r.blocks}))
)";

} // namespace

class TestExportSMSHtml : public QObject
{
    Q_OBJECT

private slots:
    void htmlEscapeTextTable_data();
    void htmlEscapeTextTable();
    void parserFindsEveryTextAndName();
};

void TestExportSMSHtml::htmlEscapeTextTable_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("html");
    QTest::newRow("markup") << "a<b>&c"
                            << "a&lt;b&gt;&amp;c";
    QTest::newRow("entity text stays text") << "&lt;"
                                            << "&amp;lt;";
    QTest::newRow("CRLF and LF") << "a\r\nb\nc"
                                 << "a<br/>b<br/>c";
    QTest::newRow("lone CR stays") << "x\ry"
                                   << "x\ry";
    QTest::newRow("quotes stay") << "\"q\""
                                 << "\"q\"";
}

void TestExportSMSHtml::htmlEscapeTextTable()
{
    QFETCH(QString, text);
    QFETCH(QString, html);
    QCOMPARE(htmlEscapeText(text), html);
}

void TestExportSMSHtml::parserFindsEveryTextAndName()
{
    ExportFixture f;
    QTemporaryDir dir;
    const QString path = dir.filePath("out.html");
    ExportSMSHtml html(path);
    exportAll(html, f.list);

    const QJsonObject read = pythonJson(QString::fromLatin1(readBlocks), path).toObject();
    QVERIFY(
        read.value("doctype").toString().startsWith("DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\""));
    QCOMPARE(read.value("title").toString(), QStringLiteral("Veltrominex Message Transfer"));
    const QJsonArray blocks = read.value("blocks").toArray();
    QCOMPARE(blocks.size(), f.list.size());

    struct Expected
    {
        QString colour;
        QString heading;
        QString body; // line breaks as "\n", a lone CR kept
    };
    const QString alice = "Alice (+15551234567)";
    const QList<Expected> expected{
        {"#008040", "To: " + alice, "Hello, \"world\""},
        {"#0000FF", "From: " + alice, "a\nb"},
        {"#0000FF", "From: " + alice, "x\ry"},
        {"#0000FF", "From: " + groupName + " (Bob)", "Group text"},
        {"#008040", "To: " + groupName, f.list[4]->displayText()},
        {"#0000FF", "From: ", "No chat"},
        {"#0000FF", "From: " + alice, "hi [EMOJI]"},
    };
    for (int i = 0; i < expected.size(); ++i) {
        const QJsonObject block = blocks[i].toObject();
        QCOMPARE(block.value("anchor").toString(), QStringLiteral("sms%1").arg(f.list[i]->rowid));
        QCOMPARE(block.value("colour").toString(), expected[i].colour);
        const QJsonArray texts = block.value("texts").toArray();
        QCOMPARE(texts.size(), 2);
        QCOMPARE(texts[0].toString(), localShortDate(*f.list[i]));
        QCOMPARE(texts[1].toString(), expected[i].heading);
        QCOMPARE(block.value("body").toString(), expected[i].body);
        QCOMPARE(block.value("dirs").toVariant().toStringList(), QStringList({"auto", "auto", "auto"}));
    }
}

QTEST_GUILESS_MAIN(TestExportSMSHtml)
#include "TestExportSMSHtml.moc"
