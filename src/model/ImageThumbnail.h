#pragma once

#include <QString>

struct _MsgAttachment;

// The path of a thumbnail of the attachment's image (at most 120 pixels on its longer
// side) in this user's cache, made on the first request. The path comes back even
// when the image could not be read or written: test that the file exists.
QString makeImageThumbnail(const _MsgAttachment& attachment);
