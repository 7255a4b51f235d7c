#include "model/EmojiFinder.h"

#include <QStringList>
#include <QTest>

namespace {

// Records each code it is given and answers with a tag naming it.
QString recordCode(void* userData, const QString& hexCode)
{
    static_cast<QStringList*>(userData)->append(hexCode);
    return "<" + hexCode + ">";
}

// Answers every single-unit emoji with a surrogate pair, which the second pass must see.
QString answerWithPair(void* userData, const QString& hexCode)
{
    static_cast<QStringList*>(userData)->append(hexCode);
    return hexCode == "E415" ? QStringLiteral("\U0001F600") : QStringLiteral("*");
}

QString units(std::initializer_list<char16_t> list)
{
    QString s;
    for (char16_t u : list)
        s += QChar(u);
    return s;
}

} // namespace

class TestEmojiFinder : public QObject
{
    Q_OBJECT

private slots:
    void replaceEmoji_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QStringList>("codes");
        QTest::newRow("no emoji") << "plain text ✓ é" << "plain text ✓ é" << QStringList{};
        QTest::newRow("single unit, then pair, in order")
            << "ab\uE415\U0001F604" << "ab<E415><1F604>" << QStringList{"E415", "1F604"};
        QTest::newRow("first and last of the private range, not the one after")
            << "\uE000\uE537\uE538" << "<E000><E537>\uE538" << QStringList{"E000", "E537"};
        QTest::newRow("listed symbol found once per occurrence")
            << "\u2714x\u2714\u203C" << "<2714>x<2714><203C>" << QStringList{"2714", "2714", "203C"};
        QTest::newRow("symbol between two listed ones is not an emoji") << "\u2713" << "\u2713" << QStringList{};
        QTest::newRow("lone D83C takes the letter after it")
            << units({u'a', 0xD83C, u'z'}) << "a<1F47A>" << QStringList{"1F47A"};
        QTest::newRow("D83C at the very end stays")
            << units({u'a', 0xD83C}) << units({u'a', 0xD83C}) << QStringList{};
        QTest::newRow("lone surrogates do not stop the scan")
            << units({0xDC00, 0xE415, 0xD83D}) << units({0xDC00, u'<', u'E', u'4', u'1', u'5', u'>', 0xD83D})
            << QStringList{"E415"};
        QTest::newRow("pair from another plane left alone")
            << "\U00020000\U0001F604" << "\U00020000<1F604>" << QStringList{"1F604"};
        QTest::newRow("every single unit before any pair")
            << "\U0001F604\uE415" << "<1F604><E415>" << QStringList{"E415", "1F604"};
    }
    void replaceEmoji()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QFETCH(QStringList, codes);
        QStringList seen;
        QString inOut = text;
        QCOMPARE(::replaceEmoji(inOut, recordCode, &seen), expected);
        QCOMPARE(inOut, expected);
        QCOMPARE(seen, codes);
    }

    void firstPassAnswerIsScannedAgain()
    {
        QStringList seen;
        QString text = QStringLiteral("\uE415\u2714");
        QCOMPARE(::replaceEmoji(text, answerWithPair, &seen), QStringLiteral("**"));
        QCOMPARE(seen, (QStringList{"E415", "2714", "1F600"}));
    }

    void placeholder()
    {
        QString text = QStringLiteral("a\uE415b\U0001F604");
        QCOMPARE(::replaceEmoji(text, emojiPlaceholder, nullptr), QStringLiteral("a[EMOJI]b[EMOJI]"));
    }
};

QTEST_GUILESS_MAIN(TestEmojiFinder)
#include "TestEmojiFinder.moc"
