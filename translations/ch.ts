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
<context>
    <name>QFtp</name>
    <message>
        <source>Connecting to host failed:
%1</source>
        <translation>连接主机失败：
%1</translation>
    </message>
    <message>
        <source>Login failed:
%1</source>
        <translation>登录失败：
%1</translation>
    </message>
    <message>
        <source>Downloading file failed:
%1</source>
        <translation>下载文件失败：
%1</translation>
    </message>
    <message>
        <source>Uploading file failed:
%1</source>
        <translation>上传文件失败：
%1</translation>
    </message>
    <message>
        <source>The command contains a line break</source>
        <translation>命令参数中含有换行符</translation>
    </message>
    <message>
        <source>Not connected</source>
        <translation>未连接</translation>
    </message>
    <message>
        <source>The file is not open for reading</source>
        <translation>文件未以读取方式打开</translation>
    </message>
    <message>
        <source>The file is not open for writing</source>
        <translation>文件未以写入方式打开</translation>
    </message>
    <message>
        <source>Connection closed</source>
        <translation>连接已关闭</translation>
    </message>
    <message>
        <source>Connection refused for data connection</source>
        <translation>数据连接被拒绝</translation>
    </message>
    <message>
        <source>Connected to host %1</source>
        <translation>已连接到主机 %1</translation>
    </message>
    <message>
        <source>Host %1 not found</source>
        <translation>找不到主机 %1</translation>
    </message>
    <message>
        <source>Connection refused to host %1</source>
        <translation>主机 %1 拒绝连接</translation>
    </message>
    <message>
        <source>Connection timed out to host %1</source>
        <translation>连接主机 %1 超时</translation>
    </message>
</context>
</TS>
