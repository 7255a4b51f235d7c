#pragma once

#include <QByteArray>
#include <QString>

// "chat" and 18 characters derived from the text: digits, and in one rare case a
// minus sign among them. The same text always gives the same identifier.
QString makeChatIdentifier(const QString& text);
// A random GUID: 36 characters, upper-case hexadecimal digits and "-".
QString newMessageGuid();
// The MD5 of the bytes in GUID form (8-4-4-4-12 upper-case hexadecimal digits).
QString guidFromBytes(const QByteArray& bytes);
// 32 lower-case hexadecimal digits of the MD5 of the text's UTF-8 bytes.
QString md5Hex(const QString& text);
