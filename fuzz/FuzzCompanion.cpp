#include "InputFile.h"
#include "android/AndroidDevice.h"
#include "android/simpleprotocol.h"

#include <QByteArray>
#include <QIODevice>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

// The phone's end of a session: it sends the input, once, and takes whatever the program
// writes. Like a closed connection, it has nothing more to wait for at its end.
class PhoneStream : public QIODevice
{
public:
    explicit PhoneStream(const QByteArray& bytes)
        : m_bytes(bytes)
    {
        open(QIODevice::ReadWrite);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 count = std::min(maxSize, qint64(m_bytes.size()) - m_position);
        if (count <= 0)
            return -1;
        std::memcpy(data, m_bytes.constData() + m_position, size_t(count));
        m_position += count;
        return count;
    }
    qint64 writeData(const char*, qint64 size) override { return size; }

private:
    const QByteArray m_bytes;
    qint64 m_position = 0;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceQtMessages();
    return 0;
}

// A session as the connection threads read it: "$ready:", the device information, then
// lines until the stream ends. Every line also goes through the device-information parser.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    PhoneStream phone(QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    static const QString hello = QStringLiteral("$hello:");
    try {
        simpleprotocol::expectReply(&phone, QStringLiteral("$ready:"), -1);
        for (;;) {
            const QString line = simpleprotocol::readCommand(&phone, -1);
            AndroidDevice device;
            device.parseDeviceInfo(line.mid(hello.size()));
        }
    } catch (const std::runtime_error&) {
    }
    return 0;
}
