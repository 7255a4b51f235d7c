#include "model/MsgIdentity.h"

#include <QCryptographicHash>
#include <QUuid>
#include <QtEndian>

#include <cstdlib>
#include <limits>

QString makeChatIdentifier(const QString& text)
{
    constexpr qsizetype digitCount = 18;
    const QByteArray utf8 = text.toUtf8();
    QString digits;
    for (quint32 counter = 0; digits.size() < digitCount; ++counter) {
        QByteArray input(4, '\0');
        qToLittleEndian(counter, input.data());
        const QByteArray digest = QCryptographicHash::hash(input + utf8, QCryptographicHash::Md5);
        qint32 folded = 0;
        for (int word = 0; word < 4; ++word)
            folded ^= qFromLittleEndian<qint32>(digest.constData() + 4 * word);
        // The one value without a positive counterpart keeps its sign.
        digits += folded == std::numeric_limits<qint32>::min() ? QString::number(folded)
                                                               : QString::number(std::abs(folded));
    }
    return QStringLiteral("chat") + digits.left(digitCount);
}

QString newMessageGuid()
{
    const QString uuid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    QString guid;
    for (QChar c : uuid)
        if (c == u'-' || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9'))
            guid += c;
    return guid;
}

QString guidFromBytes(const QByteArray& bytes)
{
    const QString hex =
        QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex().toUpper());
    return QStringLiteral("%1-%2-%3-%4-%5")
        .arg(hex.mid(0, 8), hex.mid(8, 4), hex.mid(12, 4), hex.mid(16, 4), hex.mid(20, 12));
}

QString md5Hex(const QString& text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex());
}
