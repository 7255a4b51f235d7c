#pragma once

// The device's backup service "com.apple.mobilebackup2" over DeviceLink. Every message is
// a dictionary named by its "MessageName", carried in a "DLMessageProcessMessage". All
// functions block and throw std::runtime_error; the socket stays open after a failure.
// Results that are copies of a sent message serve as the request of a following receive.

#include "ios/CFType.h"

#include <QString>

// Starts the service and runs the DeviceLink handshake; the socket is the caller's to
// close, also when the handshake fails.
void mobiledevice_backup2_start(void* device, int* socket);
// Offers count versions (a count above 127 reads as negative and offers none); the
// version the device chose, 0.0 when it named none.
double mobiledevice_backup2_version_exchange(int socket, const double* versions, qint8 count);
// Sets "MessageName" in the caller's dictionary and sends it.
CFType mobiledevice_backup2_send_message(int socket, const QString& name, CFType& dictionary);
// options may be a null wrapper.
CFType mobiledevice_backup2_send_request(int socket, const QString& request, const QString& targetIdentifier,
                                         const QString& sourceIdentifier, const CFType& options);
// One "Response": its "ErrorCode" goes to errorCode (0 when absent); an independent copy
// of its dictionary.
CFType mobiledevice_backup2_receive_response(int socket, int* errorCode, const CFType& request,
                                             CFType* message = nullptr);
// The "ErrorCode" of a received message's dictionary (0 when absent), thrown unless it is a
// "Response"; the judgement of mobiledevice_backup2_receive_response apart from the socket.
int mobiledevice_backup2_response_error(const CFType& dictionary, const CFType& message);
void mobiledevice_backup2_receive_message(int socket, CFType& message, QString& name);
// value may be a null wrapper.
CFType mobiledevice_backup2_send_status_response(int socket, int statusCode, const QString& statusText,
                                                 const CFType& statusValue);
void mobiledevice_backup2_set_cloud_backup(int socket, const QString& deviceIdentifier, bool enable);
// Sends the request only: what the device sends next is the caller's to read.
void mobiledevice_backup2_request_backup(int socket, const QString& deviceIdentifier, bool full);
