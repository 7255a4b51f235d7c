#pragma once

// Lockdown sessions with a phone. Every operation opens its own session and closes it
// before it returns; only a service socket outlives it. A null handle (a saved virtual
// iPhone has none) is refused with the session error, without calling the library.

#include "ios/CFType.h"

#include <QList>
#include <QString>
#include <QStringList>

// The code reported for a null handle; the library's own codes are the library's.
inline constexpr int mobiledeviceNoDeviceError = -1;

// Connect, pair when needed, validate, start a session. 0 on success; otherwise the
// failing call's code, with message set to the text for the user (HTML).
int mobiledevice_connect_session(void* device, QString& message);
void mobiledevice_disconnect_session(void* device);
// Whether the phone still takes a connection; false for a null handle and once the phone
// has left. Opens no session.
bool mobiledevice_is_attached(void* device);

// Each throws MarkupError with the user's text when the session cannot be opened.
// The socket written is the caller's, to close with mobiledevice_close_socket.
void mobiledevice_start_service(void* device, const char* serviceName, int* socket);
// One value per key, in key order, null where the phone has none. An empty domain is
// the default domain; an empty key asks for the whole domain as a dictionary.
QList<CFType> mobiledevice_copy_values(void* device, const QStringList& keys, const QString& domain);
// The library's result code; a refused set is not thrown.
int mobiledevice_set_value(void* device, const QString& domain, const QString& key, const CFType& value);
QString mobiledevice_copy_device_identifier(void* device);
