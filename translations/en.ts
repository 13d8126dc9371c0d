<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>CBatchModules</name>
    <message>
        <source>Upgrade config file &apos;%1&apos; not exists!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Upgrade config file &apos;%1&apos; is invalid!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open...</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CBatchUpgrade</name>
    <message>
        <source>device not registered for HTTP upgrade</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>upload refused</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>upgrade failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>time out reading the version back</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>completed, but the version could not be read back</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>, expected %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>version %1 read back, expected %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no report, time out</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>time out: no progress for %1 s</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>stopped before this module</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>stopped before it started</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CDevListActions</name>
    <message>
        <source>Remove</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reboot</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export list...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sure to remove selected devices?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export list</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot write &apos;%1&apos;: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>List exported to &apos;%1&apos;.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&apos;%1&apos; reboot failed: %2</source>
        <translation type="unfinished"></translation>
    </message>
</context>
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
    <name>CFormDevicesUpgrade</name>
    <message>
        <source>Form</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>System Info</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Upgrade</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Device type:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Device version:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start to Upgrade</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Upgade Module:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Module</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Devices to be Upgraded:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Clear All</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Auto Reboot After Upgraded</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>HostName</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Step</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Progress</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reboot</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Log</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Read</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Please select the same device!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>reboot</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>all</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>remove device</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Do you want to remove this device?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Do you want to remove all devices?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select upgrade file first!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select upgrade devices first!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Upgrade failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&apos;%1&apos; Upgrade error occur!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>upgradation summary</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>succeeded: %1, total: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>upgrade failed!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Upgrade file &apos;%1&apos; is empty!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rollout</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>At most</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>At most this many devices work on a module at the same time; the others wait. Empty: all at once.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>at once</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Canary first</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>These first devices of the list go first, through every module; if one fails, no other device is touched. Empty: no canary.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>none</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Waves of</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>After the canary, the devices go in waves of this many. Empty: one wave.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stop after</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No further wave starts once this many devices have failed, or once more than this share of the devices tried so far has failed (10%). Empty: no limit.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>failures</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Retries</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A device that failed before it took the image (refused, timed out, dropped during the upload) is tried again up to this many times, after 5 s, 10 s, 20 s ... Never once it is installing.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No further device starts; those upgrading finish their module.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stop</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Abort</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cuts the devices still upgrading short.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>stop upgrade</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Abort the devices still upgrading? Their upgrade is cut off where it is, and they may need to be upgraded again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>upgrade stopped</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CFormMaintain</name>
    <message>
        <source>Form</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Upgrade</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Module</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Step</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Progress</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>System Info</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Log</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Read</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Upgrade config file &apos;%1&apos; not exists!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Upgrade config file &apos;%1&apos; is invalid!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Upgrade failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select upgrade file first!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&apos;%1&apos; Upgrade error occur!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&apos;%1&apos; Get system info error occur!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&apos;%1&apos; Download log error occur!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&apos;%1&apos; operation timeout!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Upgrade file &apos;%1&apos; is empty!</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CHostConfirm</name>
    <message>
        <source>the device at %1 is %2, not %3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no device answers at %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cannot listen for the answer of the device at %1: %2</source>
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
    <message>
        <source>refused: an upload to the device is still running</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no upload file given</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>upload file unreadable: %1 (%2)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>aborted</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>answer to %1 larger than %2 KiB: the device is not answering as it should</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>HTTP %1 on %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>connection refused on %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>connection closed by the device on %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>time out on %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>device stalled on %1: nothing moved for %2 s</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>device address not found on %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 cut short: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 failed: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>version page</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>upload</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>result poll</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>installation failed at poll %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CImageChecksums</name>
    <message>
        <source>cannot read &apos;%1&apos;: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the image &apos;%1&apos; changed while its checksum was taken</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CRollout</name>
    <message>
        <source>stopped before it started</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>canary failed: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>stopped after %1 of %2 devices failed: %3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the rollout could not start wave %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CRolloutRows</name>
    <message>
        <source>Waiting</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Upgrade failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not started</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>aborted</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>stopped before it started</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Attempt %1 failed: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Retry in %1 s, attempt %2 failed</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CSerialForm</name>
    <message>
        <source>Atmel MCU Upgrade</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Serial Port:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose a port, or type the path of any serial device and press Enter.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Baud Rate:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Upgrade file:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Version:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Query</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select a serial port first!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select a baud rate first!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&apos;%1&apos; Upgrade error occur!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to connect to device!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Device is busying!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Version query is not support!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Upgrade is not support!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select upgrade file first!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Upgrade failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1:%2%</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Upgrade succeed, but fails to query version.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Upgrade succeed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Version query failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Operation timeout</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&apos;%1&apos; operation timeout!</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CSerialMaintain</name>
    <message>
        <source>Uploading</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Installing</source>
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
        <source>cannot open serial port &apos;%1&apos;: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>serial port &apos;%1&apos; lost: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cannot write to the serial port</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no file name in image path &apos;%1&apos;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>empty module address</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>image &apos;%1&apos; is empty</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cannot open &apos;%1&apos;: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>serial port &apos;%1&apos; is not open</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>controller answered for module &apos;%1&apos; %2, expected &apos;%3&apos; %4</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>image file is not open</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cannot read &apos;%1&apos;: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cannot write to serial port &apos;%1&apos;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cannot rewind &apos;%1&apos;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cannot read back &apos;%1&apos;: %2</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CSerialUpgradeRunner</name>
    <message>
        <source>operation timeout: no answer within %1 s</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>operation timeout: no report within %1 s</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>operation timeout: no progress for %1 s</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>serial port is not open</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>busy</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>not supported</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>refused</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the controller refused the query</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CTelnetNameReader</name>
    <message>
        <source>time out connecting</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>time out: the shell stopped answering</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cannot connect to the telnet service</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>login refused: incorrect password</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>connection closed by the device</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the device has no name parameter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the shell gave no name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>not an IP address</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CVazaLinkSession</name>
    <message>
        <source>bad log URL &apos;%1&apos;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the device refused the maintenance log-in</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the device closed the connection</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no connection to the device (%1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>time out</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>log download failed</source>
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
    <message>
        <source>no file name in image path &apos;%1&apos;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>empty module address</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cannot open &apos;%1&apos;: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>device answered for module &apos;%1&apos; %2, expected &apos;%3&apos; %4</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>bad upload URL &apos;%1&apos;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>upload failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the image &apos;%1&apos; changed during the upgrade</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CmdResult</name>
    <message>
        <source>upgrade not supported by the device</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>system information not supported by the device</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>log download not supported by the device</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>version query not supported by the device</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>device not found</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>could not connect to the device: request not sent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>device is busy with another command</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Velmora</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Devices</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Search</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>batch upgrade</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>NO.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Alias</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>HostName</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>IP Address</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Version</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>VISelect</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>VITiming</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Hostname: %1
IP Address: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>TX:%1 RX:%2 Total:%3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>close window</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Do you want to close the window?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>devices upgrade</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>An upgrade is running: search again after its summary.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>single device</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A device form is working: search again when it is done.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>An upgrade is running: switch after its summary.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close the batch form: a click on a device opens its own form.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A device form is working: switch when it is done.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close the device forms and open the batch form again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Name not read: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Product config file &apos;%1&apos; is invalid: %2</source>
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
