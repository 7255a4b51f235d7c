#pragma once

// The phone's file_relay service: one request naming sources, one answer, then the
// archive of those sources as raw bytes until the phone closes the connection.

#include <QStringList>

// Starts "com.apple.mobile.file_relay"; throws as mobiledevice_start_service does.
void mobiledevice_file_relay_start(void* device, int* socket);
// Asks for the sources; throws std::runtime_error unless the phone acknowledges. The
// archive then follows on the socket.
void mobiledevice_file_relay_request(int socket, const QStringList& sources);
