<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>mainWindow</name>
    <message>
        <source>QX IP Search Tool</source>
        <translation>IP Search Tool</translation>
    </message>
    <message>
        <source>IP搜索工具</source>
        <translation>IP Search Tool</translation>
    </message>
    <message>
        <source>网络设置</source>
        <translation>NetWork set</translation>
    </message>
    <message>
        <source>跳转网页</source>
        <translation>Web page</translation>
    </message>
</context>
<context>
    <name>IpSet</name>
    <message>
        <source>IP设置</source>
        <translation>IP set</translation>
    </message>
    <message>
        <source>自动获取IP</source>
        <translation>Dynamic IP</translation>
    </message>
    <message>
        <source>使用静态IP</source>
        <translation>Static IP</translation>
    </message>
    <message>
        <source>静态IP设置</source>
        <translation>Static IP settings</translation>
    </message>
    <message>
        <source>ip地址:</source>
        <translation>IP Address</translation>
    </message>
    <message>
        <source>子网掩码:</source>
        <translation>Subnet mask</translation>
    </message>
    <message>
        <source>默认网关:</source>
        <translation>Default gateway</translation>
    </message>
    <message>
        <source>首选DNS:</source>
        <translation>Preferred DNS</translation>
    </message>
    <message>
        <source>备选DNS:</source>
        <translation>Alternate DNS</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Set</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>warning</translation>
    </message>
    <message>
        <source>Ip格式错误!</source>
        <translation>Format error</translation>
    </message>
</context>
</TS>
