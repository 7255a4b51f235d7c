<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>AndroidConnectWithUSBThread</name>
    <message>
        <source>IDS_CHECKING_APK_INSTALL</source>
        <translation>Checking and installing Veltrominex SMS Sync now...</translation>
    </message>
    <message>
        <source>IDS_GET_ANDROID_DEVICE_INFO</source>
        <translation>Getting Android info...</translation>
    </message>
</context>
<context>
    <name>AndroidConnectWithWiFiThread</name>
    <message>
        <source>IDS_GET_ANDROID_DEVICE_INFO</source>
        <translation>Getting Android info...</translation>
    </message>
</context>
</TS>
