#include "msgdb/Rc4.h"

#include <array>
#include <utility>

QByteArray rc4(const QByteArray& key, const QByteArray& data)
{
    Q_ASSERT(!key.isEmpty() && key.size() <= 256);
    std::array<quint8, 256> s;
    for (int i = 0; i < 256; ++i)
        s[i] = quint8(i);
    quint8 j = 0;
    for (int i = 0; i < 256; ++i) {
        j = quint8(j + s[i] + quint8(key[i % key.size()]));
        std::swap(s[i], s[j]);
    }

    QByteArray out(data.size(), Qt::Uninitialized);
    quint8 i = 0;
    j = 0;
    for (qsizetype k = 0; k < data.size(); ++k) {
        i = quint8(i + 1);
        j = quint8(j + s[i]);
        std::swap(s[i], s[j]);
        out[k] = char(quint8(data[k]) ^ s[quint8(s[i] + s[j])]);
    }
    return out;
}
