<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
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
        <translation>Настройки сети</translation>
    </message>
    <message>
        <source>跳转网页</source>
        <translation>WEB интерфейс</translation>
    </message>
</context>
<context>
    <name>IpSet</name>
    <message>
        <source>IP设置</source>
        <translation>настройка IP адреса</translation>
    </message>
    <message>
        <source>自动获取IP</source>
        <translation>Динамический IP</translation>
    </message>
    <message>
        <source>使用静态IP</source>
        <translation>Статический IP</translation>
    </message>
    <message>
        <source>静态IP设置</source>
        <translation>Настройка статического IP адреса</translation>
    </message>
    <message>
        <source>ip地址:</source>
        <translation>IP адрес</translation>
    </message>
    <message>
        <source>子网掩码:</source>
        <translation>Маска подсети</translation>
    </message>
    <message>
        <source>默认网关:</source>
        <translation>Шлюз по умолчанию</translation>
    </message>
    <message>
        <source>首选DNS:</source>
        <translation>Предпочтительный DNS</translation>
    </message>
    <message>
        <source>备选DNS:</source>
        <translation>Альтернативный DNS</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Применить</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Отмена</translation>
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
<context>
    <name>QObject</name>
    <message>
        <source>版本号</source>
        <translation>Версия ПО</translation>
    </message>
    <message>
        <source>IP</source>
        <translation>IP адрес</translation>
    </message>
    <message>
        <source>Mac</source>
        <translation>MAC адрес</translation>
    </message>
</context>
</TS>
