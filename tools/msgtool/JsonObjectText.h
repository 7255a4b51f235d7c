#pragma once

#include <QByteArray>
#include <QString>

// Appends one JSON object to a byte array, field by field, as compact text: for the many
// objects of a large document, where building a QJsonObject for each costs more than
// the whole read.
class JsonObjectText
{
public:
    explicit JsonObjectText(QByteArray& out);
    // Closes the object.
    ~JsonObjectText();
    JsonObjectText(const JsonObjectText&) = delete;
    JsonObjectText& operator=(const JsonObjectText&) = delete;

    void field(const char* key, qint64 value);
    void field(const char* key, bool value);
    void field(const char* key, const QString& value);
    // A null pointer writes null.
    void field(const char* key, const QString* value);

private:
    void key(const char* name);

    QByteArray& m_out;
    bool m_first = true;
};

// value as a JSON string literal, quotes included.
void appendJsonString(QByteArray& out, const QString& value);
