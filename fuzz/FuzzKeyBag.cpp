#include "InputFile.h"
#include "itunes/BackupCrypto.h"
#include "itunes/KeyBag.h"

#include <QByteArray>

namespace {

constexpr int wrappedFileKeyLength = 40;

// The key derivation is slow on purpose and reads no structure, so it is left out: every
// input is unlocked with the key that the password "fuzz" gives over the salt and the
// rounds of the starting inputs (fuzz/make-corpus.py writes them), so that the unwraps succeed
// and the fuzzer can work past them.
QByteArray passwordKey;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceQtMessages();
    passwordKey = pbkdf2Sha1("fuzz", QByteArray(20, 'S'), 1000, 32);
    return 0;
}

// The input is a keybag, then a file's wrapped key in its last 40 bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype bagSize = qMax<qsizetype>(0, input.size() - wrappedFileKeyLength);
    KeyBag bag = KeyBag::parse(input.left(bagSize));
    if (!bag.unlockWithPasswordKey(passwordKey))
        return 0;
    const QByteArray wrappedFileKey = input.mid(bagSize);
    for (auto it = bag.classKeys.cbegin(); it != bag.classKeys.cend(); ++it)
        (void)bag.unwrapFileKey(it.key(), wrappedFileKey);
    return 0;
}
