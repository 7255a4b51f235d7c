#include "JsonObjectText.h"

void appendJsonString(QByteArray& out, const QString& value)
{
    static const char hex[] = "0123456789abcdef";
    out += '"';
    for (const char c : value.toUtf8()) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (byte < 0x20) {
                out += "\\u00";
                out += hex[byte >> 4];
                out += hex[byte & 0xf];
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

JsonObjectText::JsonObjectText(QByteArray& out) : m_out(out)
{
    m_out += '{';
}

JsonObjectText::~JsonObjectText()
{
    m_out += '}';
}

void JsonObjectText::key(const char* name)
{
    if (!m_first)
        m_out += ',';
    m_first = false;
    m_out += '"';
    m_out += name;
    m_out += "\":";
}

void JsonObjectText::field(const char* key, qint64 value)
{
    this->key(key);
    m_out += QByteArray::number(value);
}

void JsonObjectText::field(const char* key, bool value)
{
    this->key(key);
    m_out += value ? "true" : "false";
}

void JsonObjectText::field(const char* key, const QString& value)
{
    this->key(key);
    appendJsonString(m_out, value);
}

void JsonObjectText::field(const char* key, const QString* value)
{
    if (!value) {
        this->key(key);
        m_out += "null";
        return;
    }
    field(key, *value);
}
