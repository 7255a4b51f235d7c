#include "ios/PhoneDeparture.h"

#include "ios/mobiledevice_session.h"

QString departedPhoneText()
{
    return QStringLiteral("The iPhone was disconnected. Please connect it to the computer and try again.");
}

QString phoneFailureText(void* device, const QString& stepText)
{
    return mobiledevice_is_attached(device) ? stepText : departedPhoneText();
}
