<?xml version='1.0' encoding='utf-8'?>
<TS version="2.1" language="en_US">
<context>
    <name>Bus_trace</name>
    <message>
        <source>总线跟踪/Bus trace</source>
        <translation>Bus trace</translation>
    </message>
    <message>
        <source>暂停/Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>跟随/Follow</source>
        <translation>Follow</translation>
    </message>
    <message>
        <source>清空/Clear</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>保存/Save</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>打开/Open</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>回放/Replay</source>
        <translation>Replay</translation>
    </message>
    <message>
        <source>速度/Speed</source>
        <translation>Speed</translation>
    </message>
    <message>
        <source>x</source>
        <translation>x</translation>
    </message>
    <message>
        <source>复位控制器/Reset controller</source>
        <translation>Reset controller</translation>
    </message>
    <message>
        <source>标识符/ID</source>
        <translation>ID</translation>
    </message>
    <message>
        <source>000</source>
        <translation>000</translation>
    </message>
    <message>
        <source>掩码/Mask</source>
        <translation>Mask</translation>
    </message>
    <message>
        <source>节点/Node</source>
        <translation>Node</translation>
    </message>
    <message>
        <source>全部/All</source>
        <translation>All</translation>
    </message>
    <message>
        <source>NMT</source>
        <translation>NMT</translation>
    </message>
    <message>
        <source>SYNC</source>
        <translation>SYNC</translation>
    </message>
    <message>
        <source>EMCY</source>
        <translation>EMCY</translation>
    </message>
    <message>
        <source>PDO</source>
        <translation>PDO</translation>
    </message>
    <message>
        <source>SDO</source>
        <translation>SDO</translation>
    </message>
    <message>
        <source>错误控制/Error control</source>
        <translation>Error control</translation>
    </message>
    <message>
        <source>厂商协议/Maker</source>
        <translation>Maker</translation>
    </message>
    <message>
        <source>错误帧/Error frames</source>
        <translation>Error frames</translation>
    </message>
    <message>
        <source>其他/Other</source>
        <translation>Other</translation>
    </message>
    <message>
        <source>帧/Frames</source>
        <translation>Frames</translation>
    </message>
    <message>
        <source>标识符/Identifiers</source>
        <translation>Identifiers</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>无法写入文件/Cannot write the file</source>
        <translation>Cannot write the file</translation>
    </message>
    <message>
        <source>此总线不支持复位控制器/This bus cannot reset its controller</source>
        <translation>This bus cannot reset its controller</translation>
    </message>
    <message>
        <source>节点
Node</source>
        <translation>Node</translation>
    </message>
    <message>
        <source>状态
State</source>
        <translation>State</translation>
    </message>
    <message>
        <source>上次出现(s)
Last seen (s)</source>
        <translation>Last seen (s)</translation>
    </message>
    <message>
        <source>心跳周期(ms)
Heartbeat (ms)</source>
        <translation>Heartbeat (ms)</translation>
    </message>
    <message>
        <source>紧急报文
EMCY</source>
        <translation>EMCY</translation>
    </message>
    <message>
        <source>最近错误
Last error</source>
        <translation>Last error</translation>
    </message>
    <message>
        <source>丢失/Lost</source>
        <translation>Lost</translation>
    </message>
    <message>
        <source>标识符
ID</source>
        <translation>ID</translation>
    </message>
    <message>
        <source>方向
Dir</source>
        <translation>Dir</translation>
    </message>
    <message>
        <source>数量
Count</source>
        <translation>Count</translation>
    </message>
    <message>
        <source>周期(ms)
Period (ms)</source>
        <translation>Period (ms)</translation>
    </message>
    <message>
        <source>最近数据
Last data</source>
        <translation>Last data</translation>
    </message>
    <message>
        <source>%1 帧/frames, %2 显示/shown</source>
        <translation>%1 帧/frames, %2 显示/shown</translation>
    </message>
    <message>
        <source> — 日志文件/log file</source>
        <translation>log file</translation>
    </message>
    <message>
        <source>, %1 帧丢失/frames lost</source>
        <translation>frames lost</translation>
    </message>
    <message>
        <source>, 回放/replay %1/%2</source>
        <translation>replay %1/%2</translation>
    </message>
    <message>
        <source>总线正常/Error active</source>
        <translation>Error active</translation>
    </message>
    <message>
        <source>总线警告/Error warning</source>
        <translation>Error warning</translation>
    </message>
    <message>
        <source>总线被动错误/Error passive</source>
        <translation>Error passive</translation>
    </message>
    <message>
        <source>总线关闭/Bus off</source>
        <translation>Bus off</translation>
    </message>
    <message>
        <source>总线状态未知/Bus state unknown</source>
        <translation>Bus state unknown</translation>
    </message>
    <message>
        <source>candump 日志/candump log (*.log *.txt);;*</source>
        <translation>candump log (*.log *.txt);;*</translation>
    </message>
    <message>
        <source>保存跟踪/Save trace</source>
        <translation>Save trace</translation>
    </message>
    <message>
        <source>打开跟踪/Open trace</source>
        <translation>Open trace</translation>
    </message>
    <message>
        <source>无法打开文件/Cannot open the file</source>
        <translation>Cannot open the file</translation>
    </message>
    <message>
        <source>读取日志/Reading the log</source>
        <translation>Reading the log</translation>
    </message>
    <message>
        <source>取消/Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>文件中没有 candump 帧/No candump frames in the file</source>
        <translation>No candump frames in the file</translation>
    </message>
    <message>
        <source>跳过 %1 行/%1 lines skipped%2</source>
        <translation>%1 lines skipped%2</translation>
    </message>
    <message>
        <source>, 已截断/cut short</source>
        <translation>cut short</translation>
    </message>
    <message>
        <source>保存日志/Saving the log</source>
        <translation>Saving the log</translation>
    </message>
    <message>
        <source>请先打开日志/Open a log first</source>
        <translation>Open a log first</translation>
    </message>
    <message>
        <source>回放发送失败/Replay could not send</source>
        <translation>Replay could not send</translation>
    </message>
    <message>
        <source>时间(ms)
Time (ms)</source>
        <translation>Time (ms)</translation>
    </message>
    <message>
        <source>长度
DLC</source>
        <translation>DLC</translation>
    </message>
    <message>
        <source>数据
Data</source>
        <translation>Data</translation>
    </message>
    <message>
        <source>含义
Meaning</source>
        <translation>Meaning</translation>
    </message>
</context>
<context>
    <name>Object_dictionary</name>
    <message>
        <source>对象字典/Objects</source>
        <translation>Objects</translation>
    </message>
    <message>
        <source>CANopen</source>
        <translation>CANopen</translation>
    </message>
    <message>
        <source>索引/Index</source>
        <translation>Index</translation>
    </message>
    <message>
        <source>子索引/Sub</source>
        <translation>Sub</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>类型/Type</source>
        <translation>Type</translation>
    </message>
    <message>
        <source>BOOLEAN</source>
        <translation>BOOLEAN</translation>
    </message>
    <message>
        <source>INTEGER8</source>
        <translation>INTEGER8</translation>
    </message>
    <message>
        <source>INTEGER16</source>
        <translation>INTEGER16</translation>
    </message>
    <message>
        <source>INTEGER32</source>
        <translation>INTEGER32</translation>
    </message>
    <message>
        <source>INTEGER64</source>
        <translation>INTEGER64</translation>
    </message>
    <message>
        <source>UNSIGNED8</source>
        <translation>UNSIGNED8</translation>
    </message>
    <message>
        <source>UNSIGNED16</source>
        <translation>UNSIGNED16</translation>
    </message>
    <message>
        <source>UNSIGNED32</source>
        <translation>UNSIGNED32</translation>
    </message>
    <message>
        <source>UNSIGNED64</source>
        <translation>UNSIGNED64</translation>
    </message>
    <message>
        <source>REAL32</source>
        <translation>REAL32</translation>
    </message>
    <message>
        <source>REAL64</source>
        <translation>REAL64</translation>
    </message>
    <message>
        <source>VISIBLE_STRING</source>
        <translation>VISIBLE_STRING</translation>
    </message>
    <message>
        <source>OCTET_STRING</source>
        <translation>OCTET_STRING</translation>
    </message>
    <message>
        <source>DOMAIN</source>
        <translation>DOMAIN</translation>
    </message>
    <message>
        <source>值/Value</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>读/Read</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>写/Write</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>打开EDS/Open EDS</source>
        <translation>Open EDS</translation>
    </message>
    <message>
        <source>全部读取/Read all</source>
        <translation>Read all</translation>
    </message>
    <message>
        <source>导出DCF/Export DCF</source>
        <translation>Export DCF</translation>
    </message>
    <message>
        <source>保存参数/Save parameters</source>
        <translation>Save parameters</translation>
    </message>
    <message>
        <source>恢复默认/Restore defaults</source>
        <translation>Restore defaults</translation>
    </message>
    <message>
        <source>自定义协议/Custom protocol</source>
        <translation>Custom protocol</translation>
    </message>
    <message>
        <source>寄存器/Register</source>
        <translation>Register</translation>
    </message>
    <message>
        <source>0x0002</source>
        <translation>0x0002</translation>
    </message>
    <message>
        <source>十六进制/Hex</source>
        <translation>Hex</translation>
    </message>
    <message>
        <source>读请求2字节(寄存器号)，写请求6字节(寄存器号+32位值，高字节在前)。
Read requests carry the 2-byte register number; writes add the 32-bit value, most significant byte first.</source>
        <translation>Read requests carry the 2-byte register number; writes add the 32-bit value, most significant byte first.</translation>
    </message>
    <message>
        <source>节点/Node</source>
        <translation>Node</translation>
    </message>
    <message>
        <source>读写、全部读取和导出所用的节点；不改变控制窗口的连接。
The node that Read, Write, Read all and Export talk to; the control windows keep their connection.</source>
        <translation>The node that Read, Write, Read all and Export talk to; the control windows keep their connection.</translation>
    </message>
    <message>
        <source>6041</source>
        <translation>6041</translation>
    </message>
    <message>
        <source>十六进制：6041、0x6041、6041h
Hexadecimal: 6041, 0x6041 or 6041h</source>
        <translation>Hexadecimal: 6041, 0x6041 or 6041h</translation>
    </message>
    <message>
        <source>十六进制：10 即 0x10
Hexadecimal: 10 is 0x10</source>
        <translation>Hexadecimal: 10 is 0x10</translation>
    </message>
    <message>
        <source>调试/Commissioning</source>
        <translation>Commissioning</translation>
    </message>
    <message>
        <source>列出总线上所有CANopen节点（任何厂家）
List every CANopen node on the bus, whatever its make</source>
        <translation>List every CANopen node on the bus, whatever its make</translation>
    </message>
    <message>
        <source>发现节点/Discover</source>
        <translation>Discover</translation>
    </message>
    <message>
        <source>打开DCF/Open DCF</source>
        <translation>Open DCF</translation>
    </message>
    <message>
        <source>节点/Nodes</source>
        <translation>Nodes</translation>
    </message>
    <message>
        <source>例如 1-6 或 2,4,5；空着为当前节点
e.g. 1-6 or 2,4,5; empty for the node chosen</source>
        <translation>e.g. 1-6 or 2,4,5; empty for the node chosen</translation>
    </message>
    <message>
        <source>比较/Compare</source>
        <translation>Compare</translation>
    </message>
    <message>
        <source>下载/Download</source>
        <translation>Download</translation>
    </message>
    <message>
        <source>保存报告/Save report</source>
        <translation>Save report</translation>
    </message>
    <message>
        <source>只显示不同/Differences only</source>
        <translation>Differences only</translation>
    </message>
    <message>
        <source>取消/Cancel</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>Sequences</name>
    <message>
        <source>测试序列/Sequences</source>
        <translation>Sequences</translation>
    </message>
    <message>
        <source>打开脚本/Open script</source>
        <translation>Open script</translation>
    </message>
    <message>
        <source>保存脚本/Save script</source>
        <translation>Save script</translation>
    </message>
    <message>
        <source>运行/Run</source>
        <translation>Run</translation>
    </message>
    <message>
        <source>停止/Stop</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>保存结果/Save results</source>
        <translation>Save results</translation>
    </message>
    <message>
        <source>就绪/Ready</source>
        <translation>Ready</translation>
    </message>
    <message>
        <source>脚本/Scripts (*.js);;所有文件/All files (*)</source>
        <translation>脚本/Scripts (*.js);;所有文件/All files (*)</translation>
    </message>
    <message>
        <source>错误/Error</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>脚本/Scripts (*.js)</source>
        <translation>Scripts (*.js)</translation>
    </message>
    <message>
        <source>JUnit XML (*.xml)</source>
        <translation>JUnit XML (*.xml)</translation>
    </message>
    <message>
        <source>总线未打开/The bus is not open</source>
        <translation>The bus is not open</translation>
    </message>
    <message>
        <source>通过/Passed</source>
        <translation>Passed</translation>
    </message>
    <message>
        <source>失败/Failed</source>
        <translation>Failed</translation>
    </message>
    <message>
        <source>已停止/Stopped</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>在此编写或打开脚本 (JavaScript)
Write or open a script here (JavaScript)</source>
        <translation>Write or open a script here (JavaScript)</translation>
    </message>
    <message>
        <source>无法读取文件/Cannot read the file</source>
        <translation>Cannot read the file</translation>
    </message>
    <message>
        <source>无法写入文件/Cannot write the file</source>
        <translation>Cannot write the file</translation>
    </message>
    <message>
        <source>运行中/Running</source>
        <translation>Running</translation>
    </message>
    <message>
        <source>时间/Time (s)</source>
        <translation>Time (s)</translation>
    </message>
    <message>
        <source>检查/Check</source>
        <translation>Check</translation>
    </message>
    <message>
        <source>实际/Actual</source>
        <translation>Actual</translation>
    </message>
    <message>
        <source>期望/Expected</source>
        <translation>Expected</translation>
    </message>
    <message>
        <source>容差/Tol.</source>
        <translation>Tol.</translation>
    </message>
    <message>
        <source>结果/Result</source>
        <translation>Result</translation>
    </message>
    <message>
        <source>其他检查/other checks</source>
        <translation>other checks</translation>
    </message>
    <message>
        <source>失败/failed</source>
        <translation>failed</translation>
    </message>
    <message>
        <source>通过/pass</source>
        <translation>pass</translation>
    </message>
    <message>
        <source>失败/FAIL</source>
        <translation>FAIL</translation>
    </message>
</context>
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
    <message>
        <source>对象字典
Objects</source>
        <translation>Objects</translation>
    </message>
    <message>
        <source>示波器
Scope</source>
        <translation>Scope</translation>
    </message>
    <message>
        <source>工具/Tools</source>
        <translation>Tools</translation>
    </message>
    <message>
        <source>总线跟踪/Bus trace</source>
        <translation>Bus trace</translation>
    </message>
    <message>
        <source>示波器/Scope</source>
        <translation>Scope</translation>
    </message>
    <message>
        <source>对象字典/Objects</source>
        <translation>Objects</translation>
    </message>
    <message>
        <source>测试序列/Sequences</source>
        <translation>Sequences</translation>
    </message>
</context>
<context>
    <name>control_CAN</name>
    <message>
        <source>MainWindow</source>
        <translation>MainWindow</translation>
    </message>
    <message>
        <source>位置控制/Positioning Control</source>
        <translation>Positioning Control</translation>
    </message>
    <message>
        <source>速度控制/Speed Cntrol</source>
        <translation>Speed Cntrol</translation>
    </message>
    <message>
        <source>力矩控制/Torque Control</source>
        <translation>Torque Control</translation>
    </message>
    <message>
        <source>速度
Speed     </source>
        <translation>Speed</translation>
    </message>
    <message>
        <source>cnt/s         </source>
        <translation>cnt/s         </translation>
    </message>
    <message>
        <source>加速度
Acc       </source>
        <translation>Acc</translation>
    </message>
    <message>
        <source>cnt/s²        </source>
        <translation>cnt/s²        </translation>
    </message>
    <message>
        <source>减速度
Dec       </source>
        <translation>Dec</translation>
    </message>
    <message>
        <source>使能
Enable</source>
        <translation>Enable</translation>
    </message>
    <message>
        <source>下使能
Disable</source>
        <translation>Disable</translation>
    </message>
    <message>
        <source>应用
Apply</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>停止
Stop</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>绝对位置运动/Move Absolute</source>
        <translation>Move Absolute</translation>
    </message>
    <message>
        <source>运动
Move to</source>
        <translation>Move to</translation>
    </message>
    <message>
        <source>cnt    </source>
        <translation>cnt    </translation>
    </message>
    <message>
        <source>往返运动
Repetitive</source>
        <translation>Repetitive</translation>
    </message>
    <message>
        <source>相对位置运动/Move Relative</source>
        <translation>Move Relative</translation>
    </message>
    <message>
        <source>向后
Backwards</source>
        <translation>Backwards</translation>
    </message>
    <message>
        <source>向前
Forward</source>
        <translation>Forward</translation>
    </message>
    <message>
        <source>cnt</source>
        <translation>cnt</translation>
    </message>
    <message>
        <source>持续运动/Continuous</source>
        <translation>Continuous</translation>
    </message>
    <message>
        <source>设置控制模式
Set cortrol mode</source>
        <translation>Set cortrol mode</translation>
    </message>
    <message>
        <source>配置模拟量
Set analog quantity</source>
        <translation>Set analog quantity</translation>
    </message>
    <message>
        <source>模拟量/Analog quantity</source>
        <translation>Analog quantity</translation>
    </message>
    <message>
        <source>最大速度限制
Max Motor Speed   </source>
        <translation>Max Motor Speed</translation>
    </message>
    <message>
        <source>10000</source>
        <translation>10000</translation>
    </message>
    <message>
        <source>cnt/s    </source>
        <translation>cnt/s    </translation>
    </message>
    <message>
        <source>目标电流
Target Current    </source>
        <translation>Target Current</translation>
    </message>
    <message>
        <source>500</source>
        <translation>500</translation>
    </message>
    <message>
        <source>mA    </source>
        <translation>mA    </translation>
    </message>
    <message>
        <source>目标速度
Target speed  </source>
        <translation>Target speed</translation>
    </message>
    <message>
        <source>cnt/s  </source>
        <translation>cnt/s  </translation>
    </message>
    <message>
        <source>状态/Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>速度
Speed</source>
        <translation>Speed</translation>
    </message>
    <message>
        <source>cnt/s</source>
        <translation>cnt/s</translation>
    </message>
    <message>
        <source>位置
Position</source>
        <translation>Position</translation>
    </message>
    <message>
        <source>电机电流
Current</source>
        <translation>Current</translation>
    </message>
    <message>
        <source>mA</source>
        <translation>mA</translation>
    </message>
    <message>
        <source>状态
Status</source>
        <translation>Status</translation>
    </message>
</context>
<context>
    <name>control_CANopen</name>
    <message>
        <source>CANopen运动控制</source>
        <translation>CANopen motion control</translation>
    </message>
    <message>
        <source>关闭节点
Stop remote node</source>
        <translation>Stop remote node</translation>
    </message>
    <message>
        <source>复位节点
Reset communication</source>
        <translation>Reset communication</translation>
    </message>
    <message>
        <source>设置模式
Set operating mode</source>
        <translation>Set operating mode</translation>
    </message>
    <message>
        <source>配置速度
Set Speed</source>
        <translation>Set Speed</translation>
    </message>
    <message>
        <source>关闭Sync
Disable cob-id sync</source>
        <translation>Disable cob-id sync</translation>
    </message>
    <message>
        <source>通信周期
Set communication cycle</source>
        <translation>Set communication cycle</translation>
    </message>
    <message>
        <source>TPDO映射
TPDO mapping</source>
        <translation>TPDO mapping</translation>
    </message>
    <message>
        <source>RPDO映射
RPDO mapping</source>
        <translation>RPDO mapping</translation>
    </message>
    <message>
        <source>开启通信
Start remote node</source>
        <translation>Start remote node</translation>
    </message>
    <message>
        <source>开启Sync
Sync command</source>
        <translation>Sync command</translation>
    </message>
    <message>
        <source>使能
Enable</source>
        <translation>Enable</translation>
    </message>
    <message>
        <source>切换模式</source>
        <translation>切换模式</translation>
    </message>
    <message>
        <source>测试复位</source>
        <translation>测试复位</translation>
    </message>
    <message>
        <source>打开监控</source>
        <translation>打开监控</translation>
    </message>
    <message>
        <source>模式/Mode</source>
        <translation>Mode</translation>
    </message>
    <message>
        <source>工作模式/Operating mode</source>
        <translation>Operating mode</translation>
    </message>
    <message>
        <source>轮廓位置模式/Profile Position Mode</source>
        <translation>Profile Position Mode</translation>
    </message>
    <message>
        <source>轮廓速度模式/Profile Velocity Mode</source>
        <translation>Profile Velocity Mode</translation>
    </message>
    <message>
        <source>轮廓扭矩模式/Profile Torque Mode</source>
        <translation>Profile Torque Mode</translation>
    </message>
    <message>
        <source>周期同步位置模式/Cyclic Synchronous Position Mode</source>
        <translation>Cyclic Synchronous Position Mode</translation>
    </message>
    <message>
        <source>周期同步速度模式/Cyclic Synchronous Velocity Mode</source>
        <translation>Cyclic Synchronous Velocity Mode</translation>
    </message>
    <message>
        <source>周期同步扭矩模式/Cyclic Synchronous Torque Mode</source>
        <translation>Cyclic Synchronous Torque Mode</translation>
    </message>
    <message>
        <source>位置插补模式/Interpolation Position Mode</source>
        <translation>Interpolation Position Mode</translation>
    </message>
    <message>
        <source>速度/Velocity(cnt/s)</source>
        <translation>Velocity(cnt/s)</translation>
    </message>
    <message>
        <source>加速度/Acceleration(cnt/s²)</source>
        <translation>Acceleration(cnt/s²)</translation>
    </message>
    <message>
        <source>减速度/Deceleration(cnt/s²)</source>
        <translation>Deceleration(cnt/s²)</translation>
    </message>
    <message>
        <source>绝对位置运动/Move Absolute</source>
        <translation>Move Absolute</translation>
    </message>
    <message>
        <source>目标位置/Target position(cnt)</source>
        <translation>Target position(cnt)</translation>
    </message>
    <message>
        <source>应用
Apply</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>开始运动
Motion</source>
        <translation>Motion</translation>
    </message>
    <message>
        <source>停止
Stop</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>下使能
Disable</source>
        <translation>Disable</translation>
    </message>
    <message>
        <source>目标速度/Target velocity(cnt/s)</source>
        <translation>Target velocity(cnt/s)</translation>
    </message>
    <message>
        <source>目标扭矩/Target torque(mN·m)</source>
        <translation>Target torque(mN·m)</translation>
    </message>
    <message>
        <source>开始运动
Move</source>
        <translation>Move</translation>
    </message>
    <message>
        <source>应用
Apple</source>
        <translation>Apple</translation>
    </message>
    <message>
        <source>状态/Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>实际位置/Position(cnt)</source>
        <translation>Position(cnt)</translation>
    </message>
    <message>
        <source>实际速度/Speed(cnt/s)</source>
        <translation>Speed(cnt/s)</translation>
    </message>
    <message>
        <source>实际电流/Current(mA)</source>
        <translation>Current(mA)</translation>
    </message>
    <message>
        <source>状态/State</source>
        <translation>State</translation>
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
<context>
    <name>nmt_state</name>
    <message>
        <source>启动/Boot-up</source>
        <translation>Boot-up</translation>
    </message>
    <message>
        <source>停止/Stopped</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>运行/Operational</source>
        <translation>Operational</translation>
    </message>
    <message>
        <source>预运行/Pre-operational</source>
        <translation>Pre-operational</translation>
    </message>
    <message>
        <source>未知/Unknown</source>
        <translation>Unknown</translation>
    </message>
</context>
<context>
    <name>scope_window</name>
    <message>
        <source>示波器/Scope</source>
        <translation>Scope</translation>
    </message>
    <message>
        <source>记录/Record</source>
        <translation>Record</translation>
    </message>
    <message>
        <source>采样率/Rate</source>
        <translation>Rate</translation>
    </message>
    <message>
        <source>10 Hz</source>
        <translation>10 Hz</translation>
    </message>
    <message>
        <source>20 Hz</source>
        <translation>20 Hz</translation>
    </message>
    <message>
        <source>50 Hz</source>
        <translation>50 Hz</translation>
    </message>
    <message>
        <source>100 Hz</source>
        <translation>100 Hz</translation>
    </message>
    <message>
        <source>运动触发/Trigger</source>
        <translation>Trigger</translation>
    </message>
    <message>
        <source>预触发/Pre-trigger</source>
        <translation>Pre-trigger</translation>
    </message>
    <message>
        <source> s</source>
        <translation> s</translation>
    </message>
    <message>
        <source>导出CSV/Export CSV</source>
        <translation>Export CSV</translation>
    </message>
    <message>
        <source>导出PNG/Export PNG</source>
        <translation>Export PNG</translation>
    </message>
    <message>
        <source>位置/Position</source>
        <translation>Position</translation>
    </message>
    <message>
        <source>速度/Velocity</source>
        <translation>Velocity</translation>
    </message>
    <message>
        <source>电流/Current</source>
        <translation>Current</translation>
    </message>
    <message>
        <source>设定值/Set-point</source>
        <translation>Set-point</translation>
    </message>
    <message>
        <source>状态/State</source>
        <translation>State</translation>
    </message>
    <message>
        <source>归一化/Normalised</source>
        <translation>Normalised</translation>
    </message>
    <message>
        <source>无应答，记录已停止/No reply: recording stopped</source>
        <translation>No reply: recording stopped</translation>
    </message>
    <message>
        <source>未连接关节/No joint connected</source>
        <translation>No joint connected</translation>
    </message>
    <message>
        <source>停止/Stop</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>等待运动指令/Waiting for a motion command</source>
        <translation>Waiting for a motion command</translation>
    </message>
    <message>
        <source>记录中/Recording: %1 samples, %2 s</source>
        <translation>Recording: %1 samples, %2 s</translation>
    </message>
    <message>
        <source>已停止/Stopped: %1 samples, %2 s</source>
        <translation>Stopped: %1 samples, %2 s</translation>
    </message>
    <message>
        <source>无应答/No reply: %1</source>
        <translation>No reply: %1</translation>
    </message>
    <message>
        <source>导出中/Exporting</source>
        <translation>Exporting</translation>
    </message>
    <message>
        <source>取消/Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>无法写入文件/Cannot write the file: %1</source>
        <translation>Cannot write the file: %1</translation>
    </message>
</context>
</TS>