#pragma once

#include <QByteArray>
#include <QString>

// The attributedBody of a message whose only content is one attachment: a typedstream
// of one U+FFFC carrying the attachment's GUID. Throws std::invalid_argument unless
// the GUID is exactly 36 UTF-8 bytes, the length the stream's header declares.
QByteArray makeAttributedBody(const QString& attachmentGuid);
