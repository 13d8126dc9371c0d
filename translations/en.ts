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
    <name>CSerialForm</name>
    <message>
        <source>Atmel MCU Upgrade</source>
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
</TS>
