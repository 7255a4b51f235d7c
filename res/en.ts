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
<context>
    <name>AndroidLoadSMSThread</name>
    <message>
        <source>IDS_ANDROID_LOADING_SMS</source>
        <translation>Loading SMS...</translation>
    </message>
</context>
<context>
    <name>AndroidRestoreSMSThread</name>
    <message>
        <source>IDS_RESTORING_SMS_TO_ANDROID</source>
        <translation>Sending SMS to Device...</translation>
    </message>
    <message>
        <source>SMS: %1/%2</source>
        <translation>SMS: %1/%2</translation>
    </message>
    <message>
        <source>IDS_SUC_RESTORE_%1_SMS_TO_ANDROID</source>
        <translation>Successfully Transferred %1 SMS</translation>
    </message>
    <message>
        <source>IDS_SKIP_%1_SMS_GROUP_OR_SYS_MESSAGES</source>
        <translation>&lt;br/&gt;%1 group messages or system messages can&apos;t be transferred.</translation>
    </message>
</context>
<context>
    <name>AndroidWIFIForm</name>
    <message>
        <source>通过Wifi连接Android设备</source>
        <translation>Connect Android via WiFi</translation>
    </message>
    <message>
        <source>在手机端安装Veltrominex WifiConnection并运行. 把手机显示的连接信息填入以下文本框.</source>
        <translation>Run Veltrominex SMS Sync on Android phone and click Connection button to get the Wifi connection info. Now input the info to the following Text Box. </translation>
    </message>
    <message>
        <source> 连接</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>(如果未安装 Veltrominex WiFi Connection, 请到Google Play 下载安装. )</source>
        <translation>If you haven&apos;t installed Veltrominex SMS Sync on Android phone, please go to the Market (Google Play) on your Android to search Veltrominex SMS Sync to download and install. </translation>
    </message>
    <message>
        <source>IDS_WIFI_SOCK_WRONG_FOR_EXAMPLE</source>
        <translation>Input Error. Please input the correct WiFi connection info.</translation>
    </message>
    <message>
        <source>IDS_CONNECTING_ANDROID_DEVICE</source>
        <translation>Connecting to Android...</translation>
    </message>
</context>
</TS>
