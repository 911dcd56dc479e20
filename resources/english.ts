<?xml version='1.0' encoding='utf-8'?>
<TS version="2.1" language="en_US">
<context>
    <name>Set_node</name>
    <message>
        <source>设备连接</source>
        <translation>Connection Settings</translation>
    </message>
    <message>
        <source>设备连接
Connection Settings</source>
        <translation>Connection Settings</translation>
    </message>
    <message>
        <source>扫描范围
ID Range    </source>
        <translation>ID Range</translation>
    </message>
    <message>
        <source>1</source>
        <translation>1</translation>
    </message>
    <message>
        <source>一</source>
        <translation>-</translation>
    </message>
    <message>
        <source>64</source>
        <translation>64</translation>
    </message>
    <message>
        <source>扫描
Scanning</source>
        <translation>Scanning</translation>
    </message>
    <message>
        <source>连接
Connect</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>断开
Disconnect</source>
        <translation>Disconnect</translation>
    </message>
    <message>
        <source>通信周期
Communication Cycle          </source>
        <translation>Communication Cycle</translation>
    </message>
    <message>
        <source>μs </source>
        <translation>μs </translation>
    </message>
    <message>
        <source>固件版本
Firmware                     </source>
        <translation>Firmware</translation>
    </message>
    <message>
        <source>通讯协议
Communication Protocol       </source>
        <translation>Communication Protocol</translation>
    </message>
    <message>
        <source>CAN自定义</source>
        <translation>CAN</translation>
    </message>
    <message>
        <source>CANopen</source>
        <translation>CANopen</translation>
    </message>
    <message>
        <source>保存参数
Save</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>输入范围错误！
</source>
        <translation />
    </message>
    <message>
        <source>打开CAN设备失败，CAN通道被占用或未连接设备...
</source>
        <translation />
    </message>
    <message>
        <source>初始化CAN设备失败
</source>
        <translation />
    </message>
    <message>
        <source>启动CAN通道失败
</source>
        <translation />
    </message>
    <message>
        <source>关闭CAN设备失败
</source>
        <translation />
    </message>
</context>
<context>
    <name>Velmora</name>
    <message>
        <source>连接
Connect</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>BrevoltTest</source>
        <translation>BrevoltTest</translation>
    </message>
    <message>
        <source>background-color: rgb(255, 0, 0);</source>
        <translation>background-color: rgb(255, 0, 0);</translation>
    </message>
    <message>
        <source>
background-color: rgb(255, 255, 0);</source>
        <translation>background-color: rgb(255, 255, 0);</translation>
    </message>
    <message>
        <source>background-color: rgb(85, 170, 255);</source>
        <translation>background-color: rgb(85, 170, 255);</translation>
    </message>
    <message>
        <source>帮助
help</source>
        <translation>help</translation>
    </message>
    <message>
        <source>运动
Motion</source>
        <translation>Motion</translation>
    </message>
    <message>
        <source>监控
Monitor</source>
        <translation>Monitor</translation>
    </message>
    <message>
        <source>自定义
Custom</source>
        <translation>Custom</translation>
    </message>
    <message>
        <source>language</source>
        <translation>language</translation>
    </message>
    <message>
        <source>简体中文</source>
        <translation>简体中文</translation>
    </message>
    <message>
        <source>English</source>
        <translation>English</translation>
    </message>
    <message>
        <source>QToolButton{background-color:white;}QToolButton:hover{background-color:cyan;}QToolButton:pressed{background-color:red;}</source>
        <translation>QToolButton{background-color:white;}QToolButton:hover{background-color:cyan;}QToolButton:pressed{background-color:red;}</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>请先关闭其他上位机程序或检查是否连接好调试器
</source>
        <translation />
    </message>
</context>
<context>
    <name>control_CAN</name>
    <message>
        <source>MainWindow</source>
        <translation>MainWindow</translation>
    </message>
</context>
<context>
    <name>control_CANopen</name>
    <message>
        <source>MainWindow</source>
        <translation>MainWindow</translation>
    </message>
</context>
<context>
    <name>custom_send</name>
    <message>
        <source>自定义数据收发</source>
        <translation>Custom frames</translation>
    </message>
    <message>
        <source>帧ID
Frame ID       </source>
        <translation>Frame ID</translation>
    </message>
    <message>
        <source>Data         </source>
        <translation>Data         </translation>
    </message>
    <message>
        <source>远程帧
Remote</source>
        <translation>Remote</translation>
    </message>
    <message>
        <source>发送
Send</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>清空
Clear</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>帧ID/Frame ID</source>
        <translation>Frame ID</translation>
    </message>
    <message>
        <source>状态/Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>数据/Data</source>
        <translation>Data</translation>
    </message>
</context>
<context>
    <name>joint_CAN_set</name>
    <message>
        <source>joint_CAN_set</source>
        <translation>joint_CAN_set</translation>
    </message>
    <message>
        <source>设备类型</source>
        <translation>Device type</translation>
    </message>
    <message>
        <source>USBCAN-Ⅰ</source>
        <translation>USBCAN-Ⅰ</translation>
    </message>
    <message>
        <source>通讯协议</source>
        <translation>Protocol</translation>
    </message>
    <message>
        <source>CAN自定义</source>
        <translation>CAN</translation>
    </message>
    <message>
        <source>CANopen</source>
        <translation>CANopen</translation>
    </message>
    <message>
        <source>CAN通道</source>
        <translation>CAN channel</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>工作模式</source>
        <translation>Work mode</translation>
    </message>
    <message>
        <source>正常模式</source>
        <translation>Normal mode</translation>
    </message>
    <message>
        <source>波特率</source>
        <translation>Bit rate</translation>
    </message>
    <message>
        <source>1000</source>
        <translation>1000</translation>
    </message>
    <message>
        <source>K bps</source>
        <translation>K bps</translation>
    </message>
    <message>
        <source>打开设备</source>
        <translation>Open device</translation>
    </message>
    <message>
        <source>关闭设备</source>
        <translation>Close device</translation>
    </message>
</context>
<context>
    <name>monitor</name>
    <message>
        <source>数据监控</source>
        <translation>Monitor</translation>
    </message>
    <message>
        <source>数据监控
Monitor</source>
        <translation>Monitor</translation>
    </message>
    <message>
        <source>开启
ON</source>
        <translation>ON</translation>
    </message>
    <message>
        <source>清空
Clear</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>停止
OFF</source>
        <translation>OFF</translation>
    </message>
    <message>
        <source>数据/Data</source>
        <translation>Data</translation>
    </message>
    <message>
        <source>时间/Time</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>状态/Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>帧ID/Frame ID</source>
        <translation>Frame ID</translation>
    </message>
    <message>
        <source>报文数据/Message</source>
        <translation>Message</translation>
    </message>
    <message>
        <source>注释/State</source>
        <translation>State</translation>
    </message>
    <message>
        <source>导出
Export</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>关闭
Close</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Excle file</source>
        <translation>Excle file</translation>
    </message>
    <message>
        <source>Excel Files(*.xlsx)</source>
        <translation>Excel Files(*.xlsx)</translation>
    </message>
</context>
</TS>