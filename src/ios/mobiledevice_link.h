#pragma once

// DeviceLink, spoken by mobilebackup2 and mobilesync: every message is a property-list
// array whose element 0 names it, and a session opens with a version handshake. All
// functions block, throw std::runtime_error, and leave the socket open after a failure.

#include "ios/CFType.h"

#include <QString>

// Stands where a text is empty or a value is missing.
inline constexpr char mobiledeviceEmptyParameter[] = "___EmptyParameterString___";

// Returns once the device has said it is ready.
void mobiledevice_link_version_exchange(int socket);
// Sends ["DLMessageProcessMessage", dictionary] in binary; an independent copy of what was
// sent, to pass as the request of the receive that follows.
CFType mobiledevice_link_send_process_message(int socket, const CFType& dictionary);
// One message whose name begins with "DL" in any case. request only serves the error
// text. The out arguments are written only on success.
void mobiledevice_link_sc_recv_dlmessaeg(int socket, CFType& message, QString& name, const CFType& request);
// One "DLMessageProcessMessage"; an independent copy of its dictionary (a null wrapper
// when it has none).
CFType mobiledevice_link_sc_recv_process_message(int socket, const CFType& request, CFType* message = nullptr);
// Sends ["DLMessageDisconnect", text] in binary; receives nothing, closes nothing.
void mobiledevice_link_send_disconnect(int socket, const QString& text);

// The judgement of a received message, apart from the socket: its name when it begins
// with "DL" in any case, and the independent copy of its dictionary when it is a
// "DLMessageProcessMessage"; anything else is thrown.
QString mobiledevice_link_dl_message_name(const CFType& message);
CFType mobiledevice_link_process_message_dictionary(const CFType& message);
