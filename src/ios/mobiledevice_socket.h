#pragma once

// A device service's socket and the property-list messages spoken over it: each message
// is a 4-byte big-endian length, then an XML or binary property list.

#include "ios/CFType.h"

// A peer may announce no more than this; a longer message is refused before anything
// is allocated for it.
inline constexpr int mobiledeviceMaxMessageLength = 16 * 1024 * 1024;

// All time-outs are in milliseconds; 0 or less waits without limit. Interrupted waits
// and transfers go on with the time that is left.
// Above 0 ready, 0 timed out, below 0 failed.
int mobiledevice_wait_socket(int socket, int timeoutMs, bool forRead);
// Until length bytes, a time-out or a failure; each wait for room has the full time-out.
// The count sent. A peer that has closed does not raise SIGPIPE.
int mobiledevice_send_data(int socket, const char* data, int length, int timeoutMs);
// Until length bytes, a time-out, the end of the stream or a failure; each wait has the
// full time-out. The count received.
int mobiledevice_receive_data(int socket, char* buffer, int length, int timeoutMs);

// Both throw std::runtime_error on a short transfer. request only serves the error text
// and may be a null wrapper. A body that does not parse gives a null wrapper.
void mobiledevice_sendmsg(int socket, const CFType& message, bool binary, int timeoutMs);
CFType mobiledevice_recmsg(int socket, const CFType& request, int timeoutMs);

void mobiledevice_close_socket(int socket);
