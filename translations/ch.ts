<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>CDlgSelect</name>
    <message>
        <source>Choose Communication Mode</source>
        <translation>选择通信方式</translation>
    </message>
    <message>
        <source>language:</source>
        <translation>语言：</translation>
    </message>
    <message>
        <source>English</source>
        <translation>English</translation>
    </message>
    <message>
        <source>中文</source>
        <translation>中文</translation>
    </message>
    <message>
        <source>Choose a way to connect to the device:</source>
        <translation>请选择连接设备的方式：</translation>
    </message>
    <message>
        <source>Network</source>
        <translation>网络</translation>
    </message>
    <message>
        <source>Serial</source>
        <translation>串口</translation>
    </message>
</context>
<context>
    <name>CSerialForm</name>
    <message>
        <source>Atmel MCU Upgrade</source>
        <translation>Atmel MCU 升级</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Velmora</source>
        <translation>Velmora</translation>
    </message>
</context>
</TS>
