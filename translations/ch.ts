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
    <name>CHttpUpgrade</name>
    <message>
        <source>Uploading</source>
        <translation>正在上传</translation>
    </message>
    <message>
        <source>error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>Upgrade completed</source>
        <translation>升级完成</translation>
    </message>
    <message>
        <source>Installing...</source>
        <translation>正在安装...</translation>
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
    <name>CVazaMaintainSession</name>
    <message>
        <source>Uploading</source>
        <translation>正在上传</translation>
    </message>
    <message>
        <source>Installing...</source>
        <translation>正在安装...</translation>
    </message>
    <message>
        <source>Upgrade completed</source>
        <translation>升级完成</translation>
    </message>
    <message>
        <source>Upload Completed</source>
        <translation>上传完成</translation>
    </message>
    <message>
        <source>time out</source>
        <translation>超时</translation>
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
<context>
    <name>QObject</name>
    <message>
        <source>PID</source>
        <translation>产品ID</translation>
    </message>
    <message>
        <source>Date</source>
        <translation>日期</translation>
    </message>
    <message>
        <source>SN</source>
        <translation>序列号</translation>
    </message>
    <message>
        <source>IRoIP</source>
        <translation>IRoIP</translation>
    </message>
    <message>
        <source>SoIP</source>
        <translation>SoIP</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>名称</translation>
    </message>
    <message>
        <source>IP Mode</source>
        <translation>IP模式</translation>
    </message>
    <message>
        <source>IP Address</source>
        <translation>IP地址</translation>
    </message>
    <message>
        <source>Netmask</source>
        <translation>子网掩码</translation>
    </message>
    <message>
        <source>Gateway</source>
        <translation>网关</translation>
    </message>
    <message>
        <source>Mac</source>
        <translation>MAC地址</translation>
    </message>
    <message>
        <source>Network Mode</source>
        <translation>网络模式</translation>
    </message>
    <message>
        <source>DHCP Server IP</source>
        <translation>DHCP服务器IP</translation>
    </message>
    <message>
        <source>OS Init</source>
        <translation>系统初始化</translation>
    </message>
    <message>
        <source>Memory</source>
        <translation>内存</translation>
    </message>
    <message>
        <source>Storage</source>
        <translation>存储</translation>
    </message>
    <message>
        <source>Vi</source>
        <translation>视频输入</translation>
    </message>
    <message>
        <source>Ai</source>
        <translation>音频输入</translation>
    </message>
    <message>
        <source>ViTiming</source>
        <translation>视频输入时序</translation>
    </message>
    <message>
        <source>Vo Big</source>
        <translation>视频输出(大)</translation>
    </message>
    <message>
        <source>Vo Small</source>
        <translation>视频输出(小)</translation>
    </message>
    <message>
        <source>loop EDID</source>
        <translation>环出EDID</translation>
    </message>
    <message>
        <source>Stream Info</source>
        <translation>码流信息</translation>
    </message>
    <message>
        <source>Vo Edid</source>
        <translation>视频输出EDID</translation>
    </message>
    <message>
        <source>Stream Info %1</source>
        <translation>码流信息%1</translation>
    </message>
</context>
</TS>
