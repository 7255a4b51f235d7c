#include "model/RegexReplace.h"

#include <QTest>

namespace {

// Answers each match with its first capture in brackets and counts the calls.
QString bracketCapture(void* context, const QRegularExpressionMatch& match)
{
    ++*static_cast<int*>(context);
    return "[" + match.captured(1) + "]";
}

} // namespace

class TestRegexReplace : public QObject
{
    Q_OBJECT

private slots:
    void replace_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("calls");
        QTest::newRow("no match") << "abc" << "(\\d+)" << "abc" << 0;
        QTest::newRow("matches between text") << "a1b22c" << "(\\d+)" << "a[1]b[22]c" << 2;
        QTest::newRow("match at the very end") << "ab12" << "(\\d+)" << "ab[12]" << 1;
        QTest::newRow("caret only at the start") << "xax" << "^(x)" << "[x]ax" << 1;
        QTest::newRow("empty matches move on") << "ab" << "(x*)" << "[]a[]b[]" << 3;
    }
    void replace()
    {
        QFETCH(QString, text);
        QFETCH(QString, pattern);
        QFETCH(QString, expected);
        QFETCH(int, calls);
        int seen = 0;
        QCOMPARE(regexReplaceWithCallback(text, QRegularExpression(pattern), bracketCapture, &seen), expected);
        QCOMPARE(seen, calls);
    }
};

QTEST_GUILESS_MAIN(TestRegexReplace)
#include "TestRegexReplace.moc"
