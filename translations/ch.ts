<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>CBatchModules</name>
    <message>
        <source>Upgrade config file &apos;%1&apos; not exists!</source>
        <translation>升级配置文件“%1”不存在!</translation>
    </message>
    <message>
        <source>Upgrade config file &apos;%1&apos; is invalid!</source>
        <translation>升级配置文件“%1”无效!</translation>
    </message>
    <message>
        <source>Open...</source>
        <translation>打开...</translation>
    </message>
</context>
<context>
    <name>CBatchUpgrade</name>
    <message>
        <source>device not registered for HTTP upgrade</source>
        <translation>设备未登记为 HTTP 升级设备</translation>
    </message>
    <message>
        <source>upload refused</source>
        <translation>上传被拒绝</translation>
    </message>
    <message>
        <source>upgrade failed</source>
        <translation>升级失败</translation>
    </message>
    <message>
        <source>time out reading the version back</source>
        <translation>回读版本超时</translation>
    </message>
    <message>
        <source>completed, but the version could not be read back</source>
        <translation>已完成，但无法回读版本</translation>
    </message>
    <message>
        <source>, expected %1</source>
        <translation>，应为 %1</translation>
    </message>
    <message>
        <source>version %1 read back, expected %2</source>
        <translation>回读的版本为 %1，应为 %2</translation>
    </message>
    <message>
        <source>no report, time out</source>
        <translation>无报告，超时</translation>
    </message>
    <message>
        <source>time out: no progress for %1 s</source>
        <translation>超时：%1 秒内无进展</translation>
    </message>
    <message>
        <source>stopped before this module</source>
        <translation>已停止：未开始此模块</translation>
    </message>
    <message>
        <source>stopped before it started</source>
        <translation>已停止：尚未开始</translation>
    </message>
</context>
<context>
    <name>CDevListActions</name>
    <message>
        <source>Remove</source>
        <translation>移除</translation>
    </message>
    <message>
        <source>Reboot</source>
        <translation>重启</translation>
    </message>
    <message>
        <source>Export list...</source>
        <translation>导出列表...</translation>
    </message>
    <message>
        <source>Sure to remove selected devices?</source>
        <translation>确定要移除所选设备吗?</translation>
    </message>
    <message>
        <source>Export list</source>
        <translation>导出列表</translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation>CSV 文件 (*.csv)</translation>
    </message>
    <message>
        <source>Cannot write &apos;%1&apos;: %2</source>
        <translation>无法写入“%1”：%2</translation>
    </message>
    <message>
        <source>List exported to &apos;%1&apos;.</source>
        <translation>列表已导出到“%1”。</translation>
    </message>
    <message>
        <source>&apos;%1&apos; reboot failed: %2</source>
        <translation>“%1”重启失败：%2</translation>
    </message>
</context>
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
    <name>CFormDevicesUpgrade</name>
    <message>
        <source>Form</source>
        <translation>窗体</translation>
    </message>
    <message>
        <source>System Info</source>
        <translation>系统信息</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>刷新</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>名称</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>值</translation>
    </message>
    <message>
        <source>Upgrade</source>
        <translation>升级</translation>
    </message>
    <message>
        <source>Device type:</source>
        <translation>设备类型:</translation>
    </message>
    <message>
        <source>Device version:</source>
        <translation>设备版本:</translation>
    </message>
    <message>
        <source>Start to Upgrade</source>
        <translation>开始升级</translation>
    </message>
    <message>
        <source>Upgade Module:</source>
        <translation>升级模块:</translation>
    </message>
    <message>
        <source>Module</source>
        <translation>模块</translation>
    </message>
    <message>
        <source>File</source>
        <translation>文件</translation>
    </message>
    <message>
        <source>Devices to be Upgraded:</source>
        <translation>待升级设备:</translation>
    </message>
    <message>
        <source>Clear All</source>
        <translation>全部清除</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>移除</translation>
    </message>
    <message>
        <source>Auto Reboot After Upgraded</source>
        <translation>升级后自动重启</translation>
    </message>
    <message>
        <source>No.</source>
        <translation>序号</translation>
    </message>
    <message>
        <source>HostName</source>
        <translation>主机名</translation>
    </message>
    <message>
        <source>Step</source>
        <translation>步骤</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>进度</translation>
    </message>
    <message>
        <source>Reboot</source>
        <translation>重启</translation>
    </message>
    <message>
        <source>Log</source>
        <translation>日志</translation>
    </message>
    <message>
        <source>Read</source>
        <translation>读取</translation>
    </message>
    <message>
        <source>Please select the same device!</source>
        <translation>请选择同一类型的设备!</translation>
    </message>
    <message>
        <source>reboot</source>
        <translation>重启</translation>
    </message>
    <message>
        <source>all</source>
        <translation>全部</translation>
    </message>
    <message>
        <source>remove device</source>
        <translation>移除设备</translation>
    </message>
    <message>
        <source>Do you want to remove this device?</source>
        <translation>确定要移除此设备吗?</translation>
    </message>
    <message>
        <source>Do you want to remove all devices?</source>
        <translation>确定要移除所有设备吗?</translation>
    </message>
    <message>
        <source>Select upgrade file first!</source>
        <translation>请先选择升级文件!</translation>
    </message>
    <message>
        <source>Select upgrade devices first!</source>
        <translation>请先选择升级设备!</translation>
    </message>
    <message>
        <source>Upgrade failed</source>
        <translation>升级失败</translation>
    </message>
    <message>
        <source>&apos;%1&apos; Upgrade error occur!</source>
        <translation>“%1”升级出错!</translation>
    </message>
    <message>
        <source>upgradation summary</source>
        <translation>升级结果</translation>
    </message>
    <message>
        <source>succeeded: %1, total: %2.</source>
        <translation>成功: %1, 总数: %2。</translation>
    </message>
    <message>
        <source>upgrade failed!</source>
        <translation>升级失败!</translation>
    </message>
    <message>
        <source>Upgrade file &apos;%1&apos; is empty!</source>
        <translation>升级文件“%1”为空！</translation>
    </message>
    <message>
        <source>Rollout</source>
        <translation>分批升级</translation>
    </message>
    <message>
        <source>At most</source>
        <translation>最多</translation>
    </message>
    <message>
        <source>At most this many devices work on a module at the same time; the others wait. Empty: all at once.</source>
        <translation>同一时间最多这么多台设备升级同一模块，其余设备等待。留空：全部同时升级。</translation>
    </message>
    <message>
        <source>at once</source>
        <translation>台同时</translation>
    </message>
    <message>
        <source>Canary first</source>
        <translation>先试点</translation>
    </message>
    <message>
        <source>These first devices of the list go first, through every module; if one fails, no other device is touched. Empty: no canary.</source>
        <translation>列表中的前这几台设备先升级全部模块；其中任一台失败，其余设备都不会被操作。留空：不试点。</translation>
    </message>
    <message>
        <source>none</source>
        <translation>无</translation>
    </message>
    <message>
        <source>Waves of</source>
        <translation>每批</translation>
    </message>
    <message>
        <source>After the canary, the devices go in waves of this many. Empty: one wave.</source>
        <translation>试点之后，设备按每批这么多台分批升级。留空：一批完成。</translation>
    </message>
    <message>
        <source>Stop after</source>
        <translation>失败达到</translation>
    </message>
    <message>
        <source>No further wave starts once this many devices have failed, or once more than this share of the devices tried so far has failed (10%). Empty: no limit.</source>
        <translation>失败设备达到此数量，或失败设备超过已升级设备的此比例（如 10%）后，不再开始下一批。留空：不限。</translation>
    </message>
    <message>
        <source>failures</source>
        <translation>后停止</translation>
    </message>
    <message>
        <source>Retries</source>
        <translation>重试</translation>
    </message>
    <message>
        <source>A device that failed before it took the image (refused, timed out, dropped during the upload) is tried again up to this many times, after 5 s, 10 s, 20 s ... Never once it is installing.</source>
        <translation>在接收映像之前失败的设备（被拒绝、超时、上传中断开）最多再试这么多次，间隔 5 秒、10 秒、20 秒……设备开始安装后不再重试。</translation>
    </message>
    <message>
        <source>No further device starts; those upgrading finish their module.</source>
        <translation>不再开始新的设备；正在升级的设备完成当前模块。</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>Abort</source>
        <translation>中止</translation>
    </message>
    <message>
        <source>Cuts the devices still upgrading short.</source>
        <translation>立即中断仍在升级的设备。</translation>
    </message>
    <message>
        <source>stop upgrade</source>
        <translation>停止升级</translation>
    </message>
    <message>
        <source>Abort the devices still upgrading? Their upgrade is cut off where it is, and they may need to be upgraded again.</source>
        <translation>中止仍在升级的设备吗？它们的升级将就地中断，可能需要重新升级。</translation>
    </message>
    <message>
        <source>upgrade stopped</source>
        <translation>升级已停止</translation>
    </message>
</context>
<context>
    <name>CFormMaintain</name>
    <message>
        <source>Form</source>
        <translation>窗体</translation>
    </message>
    <message>
        <source>Upgrade</source>
        <translation>升级</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>开始</translation>
    </message>
    <message>
        <source>Module</source>
        <translation>模块</translation>
    </message>
    <message>
        <source>File</source>
        <translation>文件</translation>
    </message>
    <message>
        <source>Step</source>
        <translation>步骤</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>进度</translation>
    </message>
    <message>
        <source>System Info</source>
        <translation>系统信息</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>刷新</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>名称</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>值</translation>
    </message>
    <message>
        <source>Log</source>
        <translation>日志</translation>
    </message>
    <message>
        <source>Read</source>
        <translation>读取</translation>
    </message>
    <message>
        <source>Upgrade config file &apos;%1&apos; not exists!</source>
        <translation>升级配置文件“%1”不存在!</translation>
    </message>
    <message>
        <source>Upgrade config file &apos;%1&apos; is invalid!</source>
        <translation>升级配置文件“%1”无效!</translation>
    </message>
    <message>
        <source>Open...</source>
        <translation>打开...</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>移除</translation>
    </message>
    <message>
        <source>Upgrade failed</source>
        <translation>升级失败</translation>
    </message>
    <message>
        <source>Select upgrade file first!</source>
        <translation>请先选择升级文件!</translation>
    </message>
    <message>
        <source>&apos;%1&apos; Upgrade error occur!</source>
        <translation>“%1”升级出错!</translation>
    </message>
    <message>
        <source>&apos;%1&apos; Get system info error occur!</source>
        <translation>获取“%1”系统信息出错!</translation>
    </message>
    <message>
        <source>&apos;%1&apos; Download log error occur!</source>
        <translation>下载“%1”日志出错!</translation>
    </message>
    <message>
        <source>&apos;%1&apos; operation timeout!</source>
        <translation>“%1”操作超时!</translation>
    </message>
    <message>
        <source>Upgrade file &apos;%1&apos; is empty!</source>
        <translation>升级文件“%1”为空！</translation>
    </message>
</context>
<context>
    <name>CHostConfirm</name>
    <message>
        <source>the device at %1 is %2, not %3</source>
        <translation>%1 处的设备是 %2，不是 %3</translation>
    </message>
    <message>
        <source>no device answers at %1</source>
        <translation>%1 处没有设备应答</translation>
    </message>
    <message>
        <source>cannot listen for the answer of the device at %1: %2</source>
        <translation>无法接收 %1 处设备的应答：%2</translation>
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
    <message>
        <source>refused: an upload to the device is still running</source>
        <translation>已拒绝：仍有上传正在向该设备进行</translation>
    </message>
    <message>
        <source>no upload file given</source>
        <translation>未指定上传文件</translation>
    </message>
    <message>
        <source>upload file unreadable: %1 (%2)</source>
        <translation>上传文件无法读取：%1（%2）</translation>
    </message>
    <message>
        <source>aborted</source>
        <translation>已中止</translation>
    </message>
    <message>
        <source>answer to %1 larger than %2 KiB: the device is not answering as it should</source>
        <translation>%1 的应答超过 %2 KiB：设备应答异常</translation>
    </message>
    <message>
        <source>HTTP %1 on %2</source>
        <translation>%2 返回 HTTP %1</translation>
    </message>
    <message>
        <source>connection refused on %1: %2</source>
        <translation>%1 连接被拒绝：%2</translation>
    </message>
    <message>
        <source>connection closed by the device on %1: %2</source>
        <translation>%1 时设备关闭了连接：%2</translation>
    </message>
    <message>
        <source>time out on %1: %2</source>
        <translation>%1 超时：%2</translation>
    </message>
    <message>
        <source>device stalled on %1: nothing moved for %2 s</source>
        <translation>%1 时设备停滞：%2 秒内无任何数据</translation>
    </message>
    <message>
        <source>device address not found on %1: %2</source>
        <translation>%1 时找不到设备地址：%2</translation>
    </message>
    <message>
        <source>%1 cut short: %2</source>
        <translation>%1 被截断：%2</translation>
    </message>
    <message>
        <source>%1 failed: %2</source>
        <translation>%1 失败：%2</translation>
    </message>
    <message>
        <source>version page</source>
        <translation>版本页面</translation>
    </message>
    <message>
        <source>upload</source>
        <translation>上传</translation>
    </message>
    <message>
        <source>result poll</source>
        <translation>结果查询</translation>
    </message>
    <message>
        <source>installation failed at poll %1: %2</source>
        <translation>第 %1 次查询时安装失败：%2</translation>
    </message>
</context>
<context>
    <name>CImageChecksums</name>
    <message>
        <source>cannot read &apos;%1&apos;: %2</source>
        <translation>无法读取“%1”：%2</translation>
    </message>
    <message>
        <source>the image &apos;%1&apos; changed while its checksum was taken</source>
        <translation>计算校验和期间镜像“%1”被更改</translation>
    </message>
</context>
<context>
    <name>CRollout</name>
    <message>
        <source>stopped before it started</source>
        <translation>已停止：尚未开始</translation>
    </message>
    <message>
        <source>canary failed: %1</source>
        <translation>试点设备失败：%1</translation>
    </message>
    <message>
        <source>stopped after %1 of %2 devices failed: %3</source>
        <translation>%2 台设备中 %1 台失败后已停止：%3</translation>
    </message>
    <message>
        <source>the rollout could not start wave %1</source>
        <translation>无法开始第 %1 批升级</translation>
    </message>
</context>
<context>
    <name>CRolloutRows</name>
    <message>
        <source>Waiting</source>
        <translation>等待中</translation>
    </message>
    <message>
        <source>Upgrade failed</source>
        <translation>升级失败</translation>
    </message>
    <message>
        <source>Not started</source>
        <translation>未开始</translation>
    </message>
    <message>
        <source>aborted</source>
        <translation>已中止</translation>
    </message>
    <message>
        <source>stopped before it started</source>
        <translation>已停止：尚未开始</translation>
    </message>
    <message>
        <source>Attempt %1 failed: %2</source>
        <translation>第 %1 次尝试失败：%2</translation>
    </message>
    <message>
        <source>Retry in %1 s, attempt %2 failed</source>
        <translation>%1 秒后重试，第 %2 次尝试失败</translation>
    </message>
</context>
<context>
    <name>CSerialForm</name>
    <message>
        <source>Atmel MCU Upgrade</source>
        <translation>Atmel MCU 升级</translation>
    </message>
    <message>
        <source>Serial Port:</source>
        <translation>串口:</translation>
    </message>
    <message>
        <source>Choose a port, or type the path of any serial device and press Enter.</source>
        <translation>选择串口,或输入任意串口设备的路径后按回车。</translation>
    </message>
    <message>
        <source>Baud Rate:</source>
        <translation>波特率:</translation>
    </message>
    <message>
        <source>Upgrade file:</source>
        <translation>升级文件:</translation>
    </message>
    <message>
        <source>Open...</source>
        <translation>打开...</translation>
    </message>
    <message>
        <source>Version:</source>
        <translation>版本:</translation>
    </message>
    <message>
        <source>Query</source>
        <translation>查询</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>开始</translation>
    </message>
    <message>
        <source>Select a serial port first!</source>
        <translation>请先选择串口!</translation>
    </message>
    <message>
        <source>Select a baud rate first!</source>
        <translation>请先选择波特率!</translation>
    </message>
    <message>
        <source>&apos;%1&apos; Upgrade error occur!</source>
        <translation>“%1”升级出错!</translation>
    </message>
    <message>
        <source>Failed to connect to device!</source>
        <translation>连接设备失败!</translation>
    </message>
    <message>
        <source>Device is busying!</source>
        <translation>设备忙!</translation>
    </message>
    <message>
        <source>Version query is not support!</source>
        <translation>不支持版本查询!</translation>
    </message>
    <message>
        <source>Upgrade is not support!</source>
        <translation>不支持升级!</translation>
    </message>
    <message>
        <source>Select upgrade file first!</source>
        <translation>请先选择升级文件!</translation>
    </message>
    <message>
        <source>Upgrade failed</source>
        <translation>升级失败</translation>
    </message>
    <message>
        <source>%1:%2%</source>
        <translation>%1:%2%</translation>
    </message>
    <message>
        <source>Upgrade succeed, but fails to query version.</source>
        <translation>升级成功,但查询版本失败。</translation>
    </message>
    <message>
        <source>Upgrade succeed.</source>
        <translation>升级成功。</translation>
    </message>
    <message>
        <source>Version query failed</source>
        <translation>版本查询失败</translation>
    </message>
    <message>
        <source>Operation timeout</source>
        <translation>操作超时</translation>
    </message>
    <message>
        <source>&apos;%1&apos; operation timeout!</source>
        <translation>“%1”操作超时!</translation>
    </message>
</context>
<context>
    <name>CSerialMaintain</name>
    <message>
        <source>Uploading</source>
        <translation>正在上传</translation>
    </message>
    <message>
        <source>Installing</source>
        <translation>正在安装</translation>
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
        <source>cannot open serial port &apos;%1&apos;: %2</source>
        <translation>无法打开串口“%1”：%2</translation>
    </message>
    <message>
        <source>serial port &apos;%1&apos; lost: %2</source>
        <translation>串口“%1”已断开：%2</translation>
    </message>
    <message>
        <source>cannot write to the serial port</source>
        <translation>无法写入串口</translation>
    </message>
    <message>
        <source>no file name in image path &apos;%1&apos;</source>
        <translation>镜像路径“%1”中没有文件名</translation>
    </message>
    <message>
        <source>empty module address</source>
        <translation>模块地址为空</translation>
    </message>
    <message>
        <source>image &apos;%1&apos; is empty</source>
        <translation>镜像“%1”为空</translation>
    </message>
    <message>
        <source>cannot open &apos;%1&apos;: %2</source>
        <translation>无法打开“%1”：%2</translation>
    </message>
    <message>
        <source>serial port &apos;%1&apos; is not open</source>
        <translation>串口“%1”未打开</translation>
    </message>
    <message>
        <source>controller answered for module &apos;%1&apos; %2, expected &apos;%3&apos; %4</source>
        <translation>控制器应答的模块为“%1” %2，应为“%3” %4</translation>
    </message>
    <message>
        <source>image file is not open</source>
        <translation>镜像文件未打开</translation>
    </message>
    <message>
        <source>cannot read &apos;%1&apos;: %2</source>
        <translation>无法读取“%1”：%2</translation>
    </message>
    <message>
        <source>cannot write to serial port &apos;%1&apos;</source>
        <translation>无法写入串口“%1”</translation>
    </message>
    <message>
        <source>cannot rewind &apos;%1&apos;</source>
        <translation>无法回到“%1”的开头</translation>
    </message>
    <message>
        <source>cannot read back &apos;%1&apos;: %2</source>
        <translation>无法回读“%1”：%2</translation>
    </message>
</context>
<context>
    <name>CSerialUpgradeRunner</name>
    <message>
        <source>operation timeout: no answer within %1 s</source>
        <translation>操作超时：%1 秒内无应答</translation>
    </message>
    <message>
        <source>operation timeout: no report within %1 s</source>
        <translation>操作超时：%1 秒内无报告</translation>
    </message>
    <message>
        <source>operation timeout: no progress for %1 s</source>
        <translation>操作超时：%1 秒内无进展</translation>
    </message>
    <message>
        <source>serial port is not open</source>
        <translation>串口未打开</translation>
    </message>
    <message>
        <source>busy</source>
        <translation>忙</translation>
    </message>
    <message>
        <source>not supported</source>
        <translation>不支持</translation>
    </message>
    <message>
        <source>refused</source>
        <translation>被拒绝</translation>
    </message>
    <message>
        <source>failed</source>
        <translation>失败</translation>
    </message>
    <message>
        <source>the controller refused the query</source>
        <translation>控制器拒绝了查询</translation>
    </message>
</context>
<context>
    <name>CTelnetNameReader</name>
    <message>
        <source>time out connecting</source>
        <translation>连接超时</translation>
    </message>
    <message>
        <source>time out: the shell stopped answering</source>
        <translation>超时：命令行不再应答</translation>
    </message>
    <message>
        <source>cannot connect to the telnet service</source>
        <translation>无法连接 telnet 服务</translation>
    </message>
    <message>
        <source>login refused: incorrect password</source>
        <translation>登录被拒绝：密码错误</translation>
    </message>
    <message>
        <source>connection closed by the device</source>
        <translation>设备关闭了连接</translation>
    </message>
    <message>
        <source>the device has no name parameter</source>
        <translation>设备没有名称参数</translation>
    </message>
    <message>
        <source>the shell gave no name</source>
        <translation>命令行未给出名称</translation>
    </message>
    <message>
        <source>not an IP address</source>
        <translation>不是 IP 地址</translation>
    </message>
</context>
<context>
    <name>CVazaLinkSession</name>
    <message>
        <source>bad log URL &apos;%1&apos;</source>
        <translation>日志地址“%1”无效</translation>
    </message>
    <message>
        <source>the device refused the maintenance log-in</source>
        <translation>设备拒绝了维护登录</translation>
    </message>
    <message>
        <source>the device closed the connection</source>
        <translation>设备关闭了连接</translation>
    </message>
    <message>
        <source>no connection to the device (%1)</source>
        <translation>未能连接设备（%1）</translation>
    </message>
    <message>
        <source>time out</source>
        <translation>超时</translation>
    </message>
    <message>
        <source>log download failed</source>
        <translation>日志下载失败</translation>
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
    <message>
        <source>no file name in image path &apos;%1&apos;</source>
        <translation>镜像路径“%1”中没有文件名</translation>
    </message>
    <message>
        <source>empty module address</source>
        <translation>模块地址为空</translation>
    </message>
    <message>
        <source>cannot open &apos;%1&apos;: %2</source>
        <translation>无法打开“%1”：%2</translation>
    </message>
    <message>
        <source>device answered for module &apos;%1&apos; %2, expected &apos;%3&apos; %4</source>
        <translation>设备应答的模块为“%1” %2，应为“%3” %4</translation>
    </message>
    <message>
        <source>bad upload URL &apos;%1&apos;</source>
        <translation>上传地址“%1”无效</translation>
    </message>
    <message>
        <source>upload failed</source>
        <translation>上传失败</translation>
    </message>
    <message>
        <source>the image &apos;%1&apos; changed during the upgrade</source>
        <translation>升级期间镜像“%1”被更改</translation>
    </message>
</context>
<context>
    <name>CmdResult</name>
    <message>
        <source>upgrade not supported by the device</source>
        <translation>设备不支持升级</translation>
    </message>
    <message>
        <source>system information not supported by the device</source>
        <translation>设备不支持读取系统信息</translation>
    </message>
    <message>
        <source>log download not supported by the device</source>
        <translation>设备不支持下载日志</translation>
    </message>
    <message>
        <source>version query not supported by the device</source>
        <translation>设备不支持版本查询</translation>
    </message>
    <message>
        <source>device not found</source>
        <translation>未找到设备</translation>
    </message>
    <message>
        <source>could not connect to the device: request not sent</source>
        <translation>无法连接设备：请求未发送</translation>
    </message>
    <message>
        <source>device is busy with another command</source>
        <translation>设备正忙于执行其他命令</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Velmora</source>
        <translation>Velmora</translation>
    </message>
    <message>
        <source>Devices</source>
        <translation>设备</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>搜索</translation>
    </message>
    <message>
        <source>batch upgrade</source>
        <translation>批量升级</translation>
    </message>
    <message>
        <source>NO.</source>
        <translation>序号</translation>
    </message>
    <message>
        <source>Alias</source>
        <translation>别名</translation>
    </message>
    <message>
        <source>HostName</source>
        <translation>主机名</translation>
    </message>
    <message>
        <source>IP Address</source>
        <translation>IP地址</translation>
    </message>
    <message>
        <source>Version</source>
        <translation>版本</translation>
    </message>
    <message>
        <source>VISelect</source>
        <translation>视频输入</translation>
    </message>
    <message>
        <source>VITiming</source>
        <translation>视频时序</translation>
    </message>
    <message>
        <source>Hostname: %1
IP Address: %2</source>
        <translation>主机名: %1
IP 地址: %2</translation>
    </message>
    <message>
        <source>TX:%1 RX:%2 Total:%3</source>
        <translation>发送端:%1 接收端:%2 总数:%3</translation>
    </message>
    <message>
        <source>close window</source>
        <translation>关闭窗口</translation>
    </message>
    <message>
        <source>Do you want to close the window?</source>
        <translation>确定要关闭窗口吗?</translation>
    </message>
    <message>
        <source>devices upgrade</source>
        <translation>设备升级</translation>
    </message>
    <message>
        <source>An upgrade is running: search again after its summary.</source>
        <translation>正在升级: 请在升级结果出来后再搜索。</translation>
    </message>
    <message>
        <source>single device</source>
        <translation>单设备</translation>
    </message>
    <message>
        <source>A device form is working: search again when it is done.</source>
        <translation>设备窗口正在工作：完成后再搜索。</translation>
    </message>
    <message>
        <source>An upgrade is running: switch after its summary.</source>
        <translation>升级正在进行：出现汇总后再切换。</translation>
    </message>
    <message>
        <source>Close the batch form: a click on a device opens its own form.</source>
        <translation>关闭批量升级窗口：点击设备即打开该设备的窗口。</translation>
    </message>
    <message>
        <source>A device form is working: switch when it is done.</source>
        <translation>设备窗口正在工作：完成后再切换。</translation>
    </message>
    <message>
        <source>Close the device forms and open the batch form again.</source>
        <translation>关闭设备窗口并重新打开批量升级窗口。</translation>
    </message>
    <message>
        <source>Name not read: %1</source>
        <translation>未读取到名称：%1</translation>
    </message>
    <message>
        <source>Product config file &apos;%1&apos; is invalid: %2</source>
        <translation>产品配置文件“%1”无效：%2</translation>
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
