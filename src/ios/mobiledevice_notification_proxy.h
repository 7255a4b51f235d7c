#pragma once

// The phone's notification service "com.apple.mobile.notification_proxy": observe named
// system notifications, receive them as they occur, post one of our own. Requests go as
// XML; the phone's commands are compared ignoring case. Failures are std::runtime_error.

#include <QString>

void mobiledevice_notification_start_service(void* device, int& socket);
// No reply is read.
void mobiledevice_notification_observe(int socket, const QString& name);
// The name of one relayed notification; throws for anything else, also when none arrives
// in time (the length waits up to 60 s, the rest 500 ms).
QString mobiledevice_notification_get_throw(int socket);
// Posts the notification and shuts the proxy down: the session is over afterwards.
void mobiledevice_notification_post(int socket, const QString& name);
