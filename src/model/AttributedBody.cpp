#include "model/AttributedBody.h"

#include <stdexcept>

namespace {

// Stream header, the NSMutableAttributedString with its text (one U+FFFC) and one
// attribute run, and the dictionary up to the value of __kIMFileTransferGUIDAttributeName,
// whose length byte (0x24, 36) ends this part.
constexpr char bodyBeforeGuid[] =
    "040B73747265616D747970656481E803840140848484194E534D757461626C6541747472696275746564537472696E6700"
    "8484124E5341747472696275746564537472696E67008484084E534F626A6563740085928484840F4E534D757461626C65"
    "537472696E67018484084E53537472696E67019584012B03EFBFBC86840269490101928484840C4E5344696374696F6E61"
    "727900958401690292849898225F5F6B494D46696C655472616E73666572475549444174747269627574654E616D658692"
    "84989824";
// __kIMMessagePartAttributeName with its NSNumber value 0, and the closing markers.
constexpr char bodyAfterGuid[] =
    "86928498981D5F5F6B494D4D657373616765506172744174747269627574654E616D658692848484084E534E756D626572"
    "008484074E5356616C7565009584012A849B9B00868686";
constexpr qsizetype guidLength = 36;

} // namespace

QByteArray makeAttributedBody(const QString& attachmentGuid)
{
    const QByteArray guid = attachmentGuid.toUtf8();
    if (guid.size() != guidLength)
        throw std::invalid_argument("an attachment GUID must be 36 bytes long");
    return QByteArray::fromHex(bodyBeforeGuid) + guid + QByteArray::fromHex(bodyAfterGuid);
}
