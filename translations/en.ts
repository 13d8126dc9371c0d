<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>CDlgSelect</name>
    <message>
        <source>Choose Communication Mode</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>language:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>English</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>中文</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose a way to connect to the device:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Network</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Serial</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CHttpUpgrade</name>
    <message>
        <source>Uploading</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Upgrade completed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Installing...</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CSerialForm</name>
    <message>
        <source>Atmel MCU Upgrade</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CVazaMaintainSession</name>
    <message>
        <source>Uploading</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Installing...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Upgrade completed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Upload Completed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>time out</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Velmora</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>QFtp</name>
    <message>
        <source>Connecting to host failed:
%1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Login failed:
%1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Downloading file failed:
%1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Uploading file failed:
%1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The command contains a line break</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not connected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file is not open for reading</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file is not open for writing</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connection closed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connection refused for data connection</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connected to host %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Host %1 not found</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connection refused to host %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connection timed out to host %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>PID</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Date</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SN</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>IRoIP</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SoIP</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>IP Mode</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>IP Address</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Netmask</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Gateway</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Mac</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Network Mode</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>DHCP Server IP</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OS Init</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Memory</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Storage</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Vi</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ai</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ViTiming</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Vo Big</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Vo Small</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>loop EDID</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stream Info</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Vo Edid</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stream Info %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
