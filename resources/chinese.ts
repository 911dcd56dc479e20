<?xml version='1.0' encoding='utf-8'?>
<TS version="2.1" language="zh_CN">
<context>
    <name>Bench_page</name>
    <message>
        <source>试验台/Bench</source>
        <translation>试验台</translation>
    </message>
    <message>
        <source>打开节点列表(.cpj)及其旁边的DCF
Open a node list (.cpj) and the DCFs beside it</source>
        <translation>打开节点列表(.cpj)及其旁边的DCF</translation>
    </message>
    <message>
        <source>打开试验台/Open bench</source>
        <translation>打开试验台</translation>
    </message>
    <message>
        <source>逐个节点：查找(必要时LSS)、检查身份、配置、校验、保存、心跳、启动
Node after node: find (by LSS if need be), check identity, configure, verify, store, heartbeat, start</source>
        <translation>逐个节点：查找(必要时LSS)、检查身份、配置、校验、保存、心跳、启动</translation>
    </message>
    <message>
        <source>启动试验台/Boot bench</source>
        <translation>启动试验台</translation>
    </message>
    <message>
        <source>逐个启动/Node by node</source>
        <translation>逐个启动</translation>
    </message>
    <message>
        <source>最后一起启动/All at the end</source>
        <translation>最后一起启动</translation>
    </message>
    <message>
        <source>保存每个已配置的节点(0x1010:1)，不论DCF是否要求
Store every node configured (0x1010:1), whatever its DCF asks</source>
        <translation>保存每个已配置的节点(0x1010:1)，不论DCF是否要求</translation>
    </message>
    <message>
        <source>全部保存/Store all</source>
        <translation>全部保存</translation>
    </message>
    <message>
        <source>查找节点，读取全部，保存为节点列表及每个节点的DCF
Discover the nodes, read all of each, save a node list and a DCF per node</source>
        <translation>查找节点，读取全部，保存为节点列表及每个节点的DCF</translation>
    </message>
    <message>
        <source>保存试验台/Save bench</source>
        <translation>保存试验台</translation>
    </message>
    <message>
        <source>保存启动报告/Save boot report</source>
        <translation>保存启动报告</translation>
    </message>
    <message>
        <source>在两步之间结束；报告列出未完成的部分
End between two steps; the report lists what was left</source>
        <translation>在两步之间结束；报告列出未完成的部分</translation>
    </message>
    <message>
        <source>取消/Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>节点%1心跳丢失/node %1 lost: its heartbeat stopped</source>
        <translation>节点%1心跳丢失</translation>
    </message>
    <message>
        <source>节点%1心跳恢复/node %1 heard again</source>
        <translation>节点%1心跳恢复</translation>
    </message>
    <message>
        <source>节点列表/Node lists (*.cpj);;* (*)</source>
        <translation>节点列表</translation>
    </message>
    <message>
        <source>已载入/loaded %1: %2个节点/%2 nodes</source>
        <translation>已载入/loaded %1: %2个节点/%2 nodes</translation>
    </message>
    <message>
        <source>完成节点/nodes done %1 of %2 (%3 s)</source>
        <translation>完成节点/nodes done %1 of %2 (%3 s)</translation>
    </message>
    <message>
        <source>; 已取消，其余未运行/cancelled: the rest was not run</source>
        <translation>; 已取消，其余未运行</translation>
    </message>
    <message>
        <source>请等待当前传输结束/Wait for the transfer in progress to end</source>
        <translation>请等待当前传输结束</translation>
    </message>
    <message>
        <source>正在启动试验台/Booting the bench...</source>
        <translation>正在启动试验台</translation>
    </message>
    <message>
        <source>尚无启动报告/No boot to report yet</source>
        <translation>尚无启动报告</translation>
    </message>
    <message>
        <source>无法写入/Cannot write %1: %2</source>
        <translation>无法写入/Cannot write %1: %2</translation>
    </message>
    <message>
        <source>报告已保存/report saved: %1</source>
        <translation>报告已保存/report saved: %1</translation>
    </message>
    <message>
        <source>节点列表/Node lists (*.cpj)</source>
        <translation>节点列表</translation>
    </message>
    <message>
        <source>已取消，未写入文件/cancelled: no file written</source>
        <translation>已取消，未写入文件</translation>
    </message>
    <message>
        <source>已保存试验台/bench saved: %1 (%2个节点/%2 nodes)</source>
        <translation>已保存试验台/bench saved: %1 (%2个节点/%2 nodes)</translation>
    </message>
    <message>
        <source>正在读取节点/Reading the nodes...</source>
        <translation>正在读取节点</translation>
    </message>
</context>
<context>
    <name>Bus_trace</name>
    <message>
        <source>总线跟踪/Bus trace</source>
        <translation>总线跟踪</translation>
    </message>
    <message>
        <source>暂停/Pause</source>
        <translation>暂停</translation>
    </message>
    <message>
        <source>跟随/Follow</source>
        <translation>跟随</translation>
    </message>
    <message>
        <source>清空/Clear</source>
        <translation>清空</translation>
    </message>
    <message>
        <source>保存/Save</source>
        <translation>保存</translation>
    </message>
    <message>
        <source>打开/Open</source>
        <translation>打开</translation>
    </message>
    <message>
        <source>复位控制器/Reset controller</source>
        <translation>复位控制器</translation>
    </message>
    <message>
        <source>标识符/ID</source>
        <translation>标识符</translation>
    </message>
    <message>
        <source>000</source>
        <translation>000</translation>
    </message>
    <message>
        <source>掩码/Mask</source>
        <translation>掩码</translation>
    </message>
    <message>
        <source>节点/Node</source>
        <translation>节点</translation>
    </message>
    <message>
        <source>全部/All</source>
        <translation>全部</translation>
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
        <translation>错误控制</translation>
    </message>
    <message>
        <source>厂商协议/Maker</source>
        <translation>厂商协议</translation>
    </message>
    <message>
        <source>错误帧/Error frames</source>
        <translation>错误帧</translation>
    </message>
    <message>
        <source>其他/Other</source>
        <translation>其他</translation>
    </message>
    <message>
        <source>帧/Frames</source>
        <translation>帧</translation>
    </message>
    <message>
        <source>标识符/Identifiers</source>
        <translation>标识符</translation>
    </message>
    <message>
        <source>此总线不支持复位控制器/This bus cannot reset its controller</source>
        <translation>此总线不支持复位控制器</translation>
    </message>
    <message>
        <source>标识符
ID</source>
        <translation>标识符</translation>
    </message>
    <message>
        <source>方向
Dir</source>
        <translation>方向</translation>
    </message>
    <message>
        <source>数量
Count</source>
        <translation>数量</translation>
    </message>
    <message>
        <source>周期(ms)
Period (ms)</source>
        <translation>周期(ms)</translation>
    </message>
    <message>
        <source>最近数据
Last data</source>
        <translation>最近数据</translation>
    </message>
    <message>
        <source>总线正常/Error active</source>
        <translation>总线正常</translation>
    </message>
    <message>
        <source>总线警告/Error warning</source>
        <translation>总线警告</translation>
    </message>
    <message>
        <source>总线被动错误/Error passive</source>
        <translation>总线被动错误</translation>
    </message>
    <message>
        <source>总线关闭/Bus off</source>
        <translation>总线关闭</translation>
    </message>
    <message>
        <source>总线状态未知/Bus state unknown</source>
        <translation>总线状态未知</translation>
    </message>
    <message>
        <source>candump 日志/candump log (*.log *.txt);;*</source>
        <translation>candump 日志</translation>
    </message>
    <message>
        <source>保存跟踪/Save trace</source>
        <translation>保存跟踪</translation>
    </message>
    <message>
        <source>打开跟踪/Open trace</source>
        <translation>打开跟踪</translation>
    </message>
    <message>
        <source>无法打开文件/Cannot open the file</source>
        <translation>无法打开文件</translation>
    </message>
    <message>
        <source>读取日志/Reading the log</source>
        <translation>读取日志</translation>
    </message>
    <message>
        <source>取消/Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>文件中没有 candump 帧/No candump frames in the file</source>
        <translation>文件中没有 candump 帧</translation>
    </message>
    <message>
        <source>保存日志/Saving the log</source>
        <translation>保存日志</translation>
    </message>
    <message>
        <source>请先打开日志/Open a log first</source>
        <translation>请先打开日志</translation>
    </message>
    <message>
        <source>长度
DLC</source>
        <translation>长度</translation>
    </message>
    <message>
        <source>数据
Data</source>
        <translation>数据</translation>
    </message>
    <message>
        <source>含义
Meaning</source>
        <translation>含义</translation>
    </message>
    <message>
        <source>相对时间/Relative time</source>
        <translation>相对时间</translation>
    </message>
    <message>
        <source>跟踪保留的最多帧数，超出时舍弃最早的帧/The most frames the trace keeps; beyond it the oldest go</source>
        <translation>跟踪保留的最多帧数，超出时舍弃最早的帧</translation>
    </message>
    <message>
        <source>发送选择/To send</source>
        <translation>发送选择</translation>
    </message>
    <message>
        <source>实时/Live</source>
        <translation>实时</translation>
    </message>
    <message>
        <source>发送
Send</source>
        <translation>发送</translation>
    </message>
    <message>
        <source>数量
Frames</source>
        <translation>数量</translation>
    </message>
    <message>
        <source>说明
Note</source>
        <translation>说明</translation>
    </message>
    <message>
        <source>此适配器无法发送，跳过/This adapter cannot send it: skipped</source>
        <translation>此适配器无法发送，跳过</translation>
    </message>
    <message>
        <source>NMT 命令/NMT command</source>
        <translation>NMT 命令</translation>
    </message>
    <message>
        <source>节点一方的标识符/An identifier of the nodes' side</source>
        <translation>节点一方的标识符</translation>
    </message>
    <message>
        <source>已达上限 %1 帧：最早的 %2 帧（%3 至 %4）已舍弃/At the cap of %1 frames: the oldest %2 frames (%3 to %4) were let go</source>
        <translation>已达上限 %1 帧：最早的 %2 帧（%3 至 %4）已舍弃</translation>
    </message>
    <message>
        <source>已打开 %1：%2 帧/Opened %1: %2 frames</source>
        <translation>已打开 %1：%2 帧</translation>
    </message>
    <message>
        <source>行太长/line too long</source>
        <translation>行太长</translation>
    </message>
    <message>
        <source>不是“(时间) 接口 帧 [T|R]”/not "(time) interface frame [T|R]"</source>
        <translation>不是“(时间) 接口 帧 [T|R]”</translation>
    </message>
    <message>
        <source>时间无效/bad time</source>
        <translation>时间无效</translation>
    </message>
    <message>
        <source>标识符无效/bad identifier</source>
        <translation>标识符无效</translation>
    </message>
    <message>
        <source>数据无效/bad data</source>
        <translation>数据无效</translation>
    </message>
    <message>
        <source>长度无效/bad length</source>
        <translation>长度无效</translation>
    </message>
    <message>
        <source>方向不是 T 或 R/direction is not T or R</source>
        <translation>方向不是 T 或 R</translation>
    </message>
    <message>
        <source>第 %1 行/line %1</source>
        <translation>第 %1 行</translation>
    </message>
    <message>
        <source>另有 %1 行/and %1 more lines</source>
        <translation>另有 %1 行</translation>
    </message>
    <message>
        <source>%1：%2 帧，跳过 %3 行/%1: %2 frames, %3 lines skipped</source>
        <translation>%1：%2 帧，跳过 %3 行</translation>
    </message>
    <message>
        <source>%1 中有 %2 行无法读取，已跳过/%2 lines of %1 could not be read and were skipped:</source>
        <translation>%1 中有 %2 行无法读取，已跳过</translation>
    </message>
    <message>
        <source>时间(s)
Time (s)</source>
        <translation>时间(s)</translation>
    </message>
    <message>
        <source>时间
Time</source>
        <translation>时间</translation>
    </message>
    <message>
        <source>上限(帧)/Cap (frames)</source>
        <translation>上限(帧)</translation>
    </message>
    <message>
        <source>日志文件/log file</source>
        <translation>日志文件</translation>
    </message>
    <message>
        <source>无法写入文件/Cannot write the file: %1</source>
        <translation>无法写入文件/Cannot write the file: %1</translation>
    </message>
    <message>
        <source>已保存/Saved: %1</source>
        <translation>已保存/Saved: %1</translation>
    </message>
    <message>
        <source>%1 帧/frames, %2 显示/shown</source>
        <translation>%1 帧/frames, %2 显示/shown</translation>
    </message>
    <message>
        <source>, %1 帧丢失/frames lost</source>
        <translation>, %1 帧丢失</translation>
    </message>
    <message>
        <source>错误/Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>提示/Notice</source>
        <translation>提示</translation>
    </message>
    <message>
        <source>接口/Interface</source>
        <translation>接口</translation>
    </message>
    <message>
        <source>只显示此接口（总线）的帧，空为全部/Only the frames of this interface (bus); empty for all</source>
        <translation>只显示此接口（总线）的帧，空为全部</translation>
    </message>
    <message>
        <source>接口
Interface</source>
        <translation>接口</translation>
    </message>
</context>
<context>
    <name>Commissioning_page</name>
    <message>
        <source>列出总线上所有CANopen节点（任何厂家）
List every CANopen node on the bus, whatever its make</source>
        <translation>列出总线上所有CANopen节点（任何厂家）</translation>
    </message>
    <message>
        <source>发现节点/Discover</source>
        <translation>发现节点</translation>
    </message>
    <message>
        <source>打开DCF/Open DCF</source>
        <translation>打开DCF</translation>
    </message>
    <message>
        <source>节点/Nodes</source>
        <translation>节点</translation>
    </message>
    <message>
        <source>例如 1-6 或 2,4,5；空着为当前节点
e.g. 1-6 or 2,4,5; empty for the node chosen</source>
        <translation>例如 1-6 或 2,4,5；空着为当前节点</translation>
    </message>
    <message>
        <source>比较/Compare</source>
        <translation>比较</translation>
    </message>
    <message>
        <source>下载/Download</source>
        <translation>下载</translation>
    </message>
    <message>
        <source>保存报告/Save report</source>
        <translation>保存报告</translation>
    </message>
    <message>
        <source>固件更新/Update firmware</source>
        <translation>固件更新</translation>
    </message>
    <message>
        <source>选择程序映像并下载到节点 (0x1F50)
Choose a program image and download it to the nodes (0x1F50)</source>
        <translation>选择程序映像并下载到节点 (0x1F50)</translation>
    </message>
    <message>
        <source>强制/Force</source>
        <translation>强制</translation>
    </message>
    <message>
        <source>也下载到其他产品或未知产品
Also for another product, or an image of unknown product</source>
        <translation>也下载到其他产品或未知产品</translation>
    </message>
    <message>
        <source>保存固件报告/Save firmware report</source>
        <translation>保存固件报告</translation>
    </message>
    <message>
        <source>只显示不同/Differences only</source>
        <translation>只显示不同</translation>
    </message>
    <message>
        <source>取消/Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>节点/Node</source>
        <translation>节点</translation>
    </message>
    <message>
        <source>设备类型/Device type</source>
        <translation>设备类型</translation>
    </message>
    <message>
        <source>厂商/Vendor</source>
        <translation>厂商</translation>
    </message>
    <message>
        <source>产品/Product</source>
        <translation>产品</translation>
    </message>
    <message>
        <source>版本/Revision</source>
        <translation>版本</translation>
    </message>
    <message>
        <source>序列号/Serial</source>
        <translation>序列号</translation>
    </message>
    <message>
        <source>名称/Name</source>
        <translation>名称</translation>
    </message>
    <message>
        <source>NMT状态/NMT state</source>
        <translation>NMT状态</translation>
    </message>
    <message>
        <source>请先在节点窗口扫描以打开适配器/Open the adapter first (Scan in the node window)</source>
        <translation>请先在节点窗口扫描以打开适配器</translation>
    </message>
    <message>
        <source>请等待当前传输结束/Wait for the transfer in progress to end</source>
        <translation>请等待当前传输结束</translation>
    </message>
    <message>
        <source>正在查找节点/Discovering nodes...</source>
        <translation>正在查找节点</translation>
    </message>
    <message>
        <source>找到%1个CANopen节点/found %1 CANopen nodes (%2 s)%3</source>
        <translation>找到%1个CANopen节点/found %1 CANopen nodes (%2 s)%3</translation>
    </message>
    <message>
        <source>, 已取消/cancelled</source>
        <translation>, 已取消</translation>
    </message>
    <message>
        <source>无SDO应答/no SDO answer</source>
        <translation>无SDO应答</translation>
    </message>
    <message>
        <source>%1不含任何值/%1 holds no values (ParameterValue)</source>
        <translation>%1不含任何值</translation>
    </message>
    <message>
        <source>已载入/loaded %1: %2个值/%2 values</source>
        <translation>已载入/loaded %1: %2个值/%2 values</translation>
    </message>
    <message>
        <source>将%1中不同的值写入节点%2？节点先进入预运行状态。
Write the values of %1 that differ to node(s) %2? Each node goes pre-operational first.</source>
        <translation>将%1中不同的值写入节点%2？节点先进入预运行状态。</translation>
    </message>
    <message>
        <source>提示/Notice</source>
        <translation>提示</translation>
    </message>
    <message>
        <source>正在比较/Comparing...</source>
        <translation>正在比较</translation>
    </message>
    <message>
        <source>正在下载/Downloading...</source>
        <translation>正在下载</translation>
    </message>
    <message>
        <source>完成节点/nodes done %1 of %2: 比较/compared %3, 不同/differing %4</source>
        <translation>完成节点/nodes done %1 of %2: 比较/compared %3, 不同/differing %4</translation>
    </message>
    <message>
        <source>; 写入/written %1, 已校验/verified %2, 被拒绝/refused %3</source>
        <translation>; 写入/written %1, 已校验/verified %2, 被拒绝/refused %3</translation>
    </message>
    <message>
        <source>; 节点/node %1: %2</source>
        <translation>; 节点/node %1: %2</translation>
    </message>
    <message>
        <source>; 已取消/cancelled</source>
        <translation>; 已取消</translation>
    </message>
    <message>
        <source>将参数保存到节点%1(0x1010:1 "save")？
Store the parameters in node(s) %1 (0x1010:1 "save")?</source>
        <translation>将参数保存到节点%1(0x1010:1 "save")？</translation>
    </message>
    <message>
        <source>节点/node %1: %2
</source>
        <translation>节点/node %1: %2
</translation>
    </message>
    <message>
        <source>; 已保存/stored %1 of %2</source>
        <translation>; 已保存/stored %1 of %2</translation>
    </message>
    <message>
        <source>程序映像/Program image</source>
        <translation>程序映像</translation>
    </message>
    <message>
        <source>程序映像/Program images (*.bin *.hex *.img);;*</source>
        <translation>程序映像</translation>
    </message>
    <message>
        <source>未知/unknown</source>
        <translation>未知</translation>
    </message>
    <message>
        <source>将%1 (%2字节, CRC %3, 产品%4)下载到节点%5？每个节点的程序先停止并清除。
Download %1 (%2 bytes, CRC %3, product %4) to node(s) %5? Each node's program is stopped and cleared first.</source>
        <translation>将%1 (%2字节, CRC %3, 产品%4)下载到节点%5？每个节点的程序先停止并清除。</translation>
    </message>
    <message>
        <source>正在更新固件/Updating firmware...</source>
        <translation>正在更新固件</translation>
    </message>
    <message>
        <source>固件已更新/firmware updated on %1 of %2 nodes</source>
        <translation>固件已更新/firmware updated on %1 of %2 nodes</translation>
    </message>
    <message>
        <source>节点/node %1: %2%3</source>
        <translation>节点/node %1: %2%3</translation>
    </message>
    <message>
        <source>已取消/cancelled</source>
        <translation>已取消</translation>
    </message>
    <message>
        <source>尚无固件更新报告/No firmware update to report yet</source>
        <translation>尚无固件更新报告</translation>
    </message>
    <message>
        <source>无法写入/Cannot write %1: %2</source>
        <translation>无法写入/Cannot write %1: %2</translation>
    </message>
    <message>
        <source>报告已保存/report saved: %1 (%2 rows)</source>
        <translation>报告已保存/report saved: %1 (%2 rows)</translation>
    </message>
    <message>
        <source>尚无下载报告/No download to report yet</source>
        <translation>尚无下载报告</translation>
    </message>
</context>
<context>
    <name>Joints</name>
    <message>
        <source>关节/Joints</source>
        <translation>关节</translation>
    </message>
    <message>
        <source>使能/Enable</source>
        <translation>使能</translation>
    </message>
    <message>
        <source>禁用/Disable</source>
        <translation>禁用</translation>
    </message>
    <message>
        <source>全部使能/Enable all</source>
        <translation>全部使能</translation>
    </message>
    <message>
        <source>全部禁用/Disable all</source>
        <translation>全部禁用</translation>
    </message>
    <message>
        <source>全部停止/Stop all (F12)</source>
        <translation>全部停止</translation>
    </message>
    <message>
        <source>总线/Bus</source>
        <translation>总线</translation>
    </message>
    <message>
        <source>节点/Node</source>
        <translation>节点</translation>
    </message>
    <message>
        <source>CANopen</source>
        <translation>CANopen</translation>
    </message>
    <message>
        <source>厂商协议/Maker's protocol</source>
        <translation>厂商协议</translation>
    </message>
    <message>
        <source>添加关节/Add joint</source>
        <translation>添加关节</translation>
    </message>
    <message>
        <source>请先选择关节/Select joints first</source>
        <translation>请先选择关节</translation>
    </message>
    <message>
        <source>已使能%1个，共%2个/enabled %1 of %2</source>
        <translation>已使能%1个，共%2个</translation>
    </message>
    <message>
        <source>已禁用%1个，共%2个/disabled %1 of %2</source>
        <translation>已禁用%1个，共%2个</translation>
    </message>
    <message>
        <source>没有关节/No joints listed</source>
        <translation>没有关节</translation>
    </message>
    <message>
        <source>使能全部%1个关节？/Enable all %1 joints?</source>
        <translation>使能全部%1个关节？</translation>
    </message>
    <message>
        <source>没有已使能的关节/No enabled joint to stop</source>
        <translation>没有已使能的关节</translation>
    </message>
    <message>
        <source>已确认停止%1个，共%2个/stop confirmed by %1 of %2</source>
        <translation>已确认停止%1个，共%2个</translation>
    </message>
    <message>
        <source>总线%1未打开/Bus %1 is not open</source>
        <translation>总线%1未打开</translation>
    </message>
    <message>
        <source>暂停/Halt</source>
        <translation>暂停</translation>
    </message>
    <message>
        <source>快速停止/Quick stop</source>
        <translation>快速停止</translation>
    </message>
    <message>
        <source>故障复位/Fault reset</source>
        <translation>故障复位</translation>
    </message>
    <message>
        <source>目标位置（绝对）/Target position (absolute)</source>
        <translation>目标位置（绝对）</translation>
    </message>
    <message>
        <source>运动到/Move to</source>
        <translation>运动到</translation>
    </message>
    <message>
        <source>已暂停%1个，共%2个/halted %1 of %2</source>
        <translation>已暂停%1个，共%2个</translation>
    </message>
    <message>
        <source>故障已复位%1个，共%2个/fault reset on %1 of %2</source>
        <translation>故障已复位%1个，共%2个</translation>
    </message>
    <message>
        <source>运动已开始%1个，共%2个/move started on %1 of %2</source>
        <translation>运动已开始%1个，共%2个</translation>
    </message>
    <message>
        <source>故障历史/History</source>
        <translation>故障历史</translation>
    </message>
    <message>
        <source>清除历史/Clear history</source>
        <translation>清除历史</translation>
    </message>
    <message>
        <source>请选择一个关节/Select one joint</source>
        <translation>请选择一个关节</translation>
    </message>
    <message>
        <source>故障历史为空/The error history is empty</source>
        <translation>故障历史为空</translation>
    </message>
    <message>
        <source>最近EMCY/Last EMCY: %1 @%2 s</source>
        <translation>最近EMCY/Last EMCY: %1 @%2 s</translation>
    </message>
    <message>
        <source>故障历史/Error history</source>
        <translation>故障历史</translation>
    </message>
    <message>
        <source>清除%1的故障历史（0x1003）？/Clear the error history (0x1003) of %1?</source>
        <translation>清除%1的故障历史（0x1003）？</translation>
    </message>
    <message>
        <source>%1的故障历史已清除/error history of %1 cleared</source>
        <translation>%1的故障历史已清除</translation>
    </message>
    <message>
        <source>%1的故障历史未清除/error history of %1 not cleared</source>
        <translation>%1的故障历史未清除</translation>
    </message>
    <message>
        <source>点动−/Jog −</source>
        <translation>点动−</translation>
    </message>
    <message>
        <source>点动+/Jog +</source>
        <translation>点动+</translation>
    </message>
    <message>
        <source>点动速度/Jog speed</source>
        <translation>点动速度</translation>
    </message>
    <message>
        <source>回零方式（0x6098）/Homing method (0x6098)</source>
        <translation>回零方式（0x6098）</translation>
    </message>
    <message>
        <source>回零/Home</source>
        <translation>回零</translation>
    </message>
    <message>
        <source>点动%1个，共%2个/jogging %1 of %2</source>
        <translation>点动%1个，共%2个</translation>
    </message>
    <message>
        <source>点动结束，已暂停%1个，共%2个/jog ended, halted %1 of %2</source>
        <translation>点动结束，已暂停%1个，共%2个</translation>
    </message>
    <message>
        <source>回零已开始%1个，共%2个/homing started on %1 of %2</source>
        <translation>回零已开始%1个，共%2个</translation>
    </message>
    <message>
        <source>（已取消）/(cancelled)</source>
        <translation>（已取消）</translation>
    </message>
    <message>
        <source>使能关节…/Enabling joints…</source>
        <translation>使能关节…</translation>
    </message>
    <message>
        <source>另一个作业正在运行/Another job is running</source>
        <translation>另一个作业正在运行</translation>
    </message>
    <message>
        <source>正在使能%1个关节…/enabling %1 joints…</source>
        <translation>正在使能%1个关节…</translation>
    </message>
</context>
<context>
    <name>Lss</name>
    <message>
        <source>LSS节点配置/LSS node setup</source>
        <translation>LSS节点配置</translation>
    </message>
    <message>
        <source>快速扫描/Fast scan</source>
        <translation>快速扫描</translation>
    </message>
    <message>
        <source>取消/Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>在配置状态的节点/Node in configuration</source>
        <translation>在配置状态的节点</translation>
    </message>
    <message>
        <source>节点号/Node-ID</source>
        <translation>节点号</translation>
    </message>
    <message>
        <source>波特率/Bit rate</source>
        <translation>波特率</translation>
    </message>
    <message>
        <source>设置/Configure</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>保存并启动/Store and boot</source>
        <translation>保存并启动</translation>
    </message>
    <message>
        <source>按标识选择/Select by identity</source>
        <translation>按标识选择</translation>
    </message>
    <message>
        <source>厂商/Vendor</source>
        <translation>厂商</translation>
    </message>
    <message>
        <source>0x00000000</source>
        <translation>0x00000000</translation>
    </message>
    <message>
        <source>Vendor-ID (0x1018:1)</source>
        <translation>Vendor-ID (0x1018:1)</translation>
    </message>
    <message>
        <source>产品/Product</source>
        <translation>产品</translation>
    </message>
    <message>
        <source>Product code (0x1018:2)</source>
        <translation>Product code (0x1018:2)</translation>
    </message>
    <message>
        <source>版本/Revision</source>
        <translation>版本</translation>
    </message>
    <message>
        <source>Revision number (0x1018:3)</source>
        <translation>Revision number (0x1018:3)</translation>
    </message>
    <message>
        <source>序列号/Serial</source>
        <translation>序列号</translation>
    </message>
    <message>
        <source>Serial number (0x1018:4)</source>
        <translation>Serial number (0x1018:4)</translation>
    </message>
    <message>
        <source>选择/Select</source>
        <translation>选择</translation>
    </message>
    <message>
        <source>整个总线/Whole bus</source>
        <translation>整个总线</translation>
    </message>
    <message>
        <source>全部等待/All waiting</source>
        <translation>全部等待</translation>
    </message>
    <message>
        <source>全部配置/All configuration</source>
        <translation>全部配置</translation>
    </message>
    <message>
        <source>切换延时/Switch delay</source>
        <translation>切换延时</translation>
    </message>
    <message>
        <source> ms</source>
        <translation> ms</translation>
    </message>
    <message>
        <source>启用波特率/Activate bit rate</source>
        <translation>启用波特率</translation>
    </message>
    <message>
        <source>不改变/unchanged</source>
        <translation>不改变</translation>
    </message>
    <message>
        <source>扫描已取消/Scan cancelled</source>
        <translation>扫描已取消</translation>
    </message>
    <message>
        <source>请先打开适配器/Open the adapter first</source>
        <translation>请先打开适配器</translation>
    </message>
    <message>
        <source>节点号 %1/node-ID %1</source>
        <translation>节点号 %1</translation>
    </message>
    <message>
        <source>已保存/stored</source>
        <translation>已保存</translation>
    </message>
    <message>
        <source>已启动/booted</source>
        <translation>已启动</translation>
    </message>
    <message>
        <source>配置状态/in configuration</source>
        <translation>配置状态</translation>
    </message>
    <message>
        <source>无节点号/no node-ID</source>
        <translation>无节点号</translation>
    </message>
    <message>
        <source>等待/waiting</source>
        <translation>等待</translation>
    </message>
    <message>
        <source>已做/Done</source>
        <translation>已做</translation>
    </message>
    <message>
        <source>扫描中…/Scanning…</source>
        <translation>扫描中…</translation>
    </message>
    <message>
        <source>发送失败/Sending failed</source>
        <translation>发送失败</translation>
    </message>
    <message>
        <source>没有未配置的节点/No node without node-ID</source>
        <translation>没有未配置的节点</translation>
    </message>
    <message>
        <source>扫描中断：节点未确认，请重试/Scan lost the node's answer: scan again</source>
        <translation>扫描中断：节点未确认，请重试</translation>
    </message>
    <message>
        <source>找到节点，已进入配置状态/Found a node, now in configuration</source>
        <translation>找到节点，已进入配置状态</translation>
    </message>
    <message>
        <source>节点无应答/No answer from the node</source>
        <translation>节点无应答</translation>
    </message>
    <message>
        <source>节点号：%1/Node-ID: %1</source>
        <translation>节点号：%1</translation>
    </message>
    <message>
        <source>节点号 %1 已设置/Node-ID %1 set</source>
        <translation>节点号 %1 已设置</translation>
    </message>
    <message>
        <source>；波特率：%1/; bit rate: %1</source>
        <translation>；波特率：%1</translation>
    </message>
    <message>
        <source>保存：%1/Store: %1</source>
        <translation>保存：%1</translation>
    </message>
    <message>
        <source>已保存，全部节点回到等待/Stored; every node is back to waiting</source>
        <translation>已保存，全部节点回到等待</translation>
    </message>
    <message>
        <source>已保存，但节点 %1 未启动/Stored, but node %1 sent no boot-up</source>
        <translation>已保存，但节点 %1 未启动</translation>
    </message>
    <message>
        <source>已保存，节点 %1 已启动/Stored; node %1 booted</source>
        <translation>已保存，节点 %1 已启动</translation>
    </message>
    <message>
        <source>已保存，新设置在节点下次复位时生效/Stored; the new settings take effect at the node's next reset</source>
        <translation>已保存，新设置在节点下次复位时生效</translation>
    </message>
    <message>
        <source>标识须为32位十六进制数/Each identity part is a 32-bit hex number</source>
        <translation>标识须为32位十六进制数</translation>
    </message>
    <message>
        <source>没有节点有此标识/No node has this identity</source>
        <translation>没有节点有此标识</translation>
    </message>
    <message>
        <source>节点已进入配置状态，无节点号/Node in configuration, without node-ID</source>
        <translation>节点已进入配置状态，无节点号</translation>
    </message>
    <message>
        <source>节点已进入配置状态，节点号 %1/Node in configuration, node-ID %1</source>
        <translation>节点已进入配置状态，节点号 %1</translation>
    </message>
    <message>
        <source>全部节点回到等待/Every node is back to waiting</source>
        <translation>全部节点回到等待</translation>
    </message>
    <message>
        <source>总线上所有节点都将进入配置状态，之后设置的节点号会同时给所有节点。继续？
Every node on the bus enters configuration: a node-ID set now goes to all of them at once. Continue?</source>
        <translation>总线上所有节点都将进入配置状态，之后设置的节点号会同时给所有节点。继续？</translation>
    </message>
    <message>
        <source>全部节点在配置状态/Every node is in configuration</source>
        <translation>全部节点在配置状态</translation>
    </message>
    <message>
        <source>请先选择波特率/Choose a bit rate first</source>
        <translation>请先选择波特率</translation>
    </message>
    <message>
        <source>每个节点都必须先设置 %1 kbit/s，否则启用后它将离开总线（此列表中 %2 个已设置）。现在整个总线启用？
Every node must have been given %1 kbit/s first, or it drops off the bus once it is active (%2 in this list were given it). Activate it on the whole bus now?</source>
        <translation>每个节点都必须先设置 %1 kbit/s，否则启用后它将离开总线（此列表中 %2 个已设置）。现在整个总线启用？</translation>
    </message>
    <message>
        <source>总线已启用 %1 kbit/s/The bus runs at %1 kbit/s</source>
        <translation>总线已启用 %1 kbit/s</translation>
    </message>
    <message>
        <source>%2 ms 后总线切换到 %1 kbit/s：请把适配器设为此波特率，然后点“全部等待”
The bus switches to %1 kbit/s after %2 ms: set the adapter to it, then press "All waiting"</source>
        <translation>%2 ms 后总线切换到 %1 kbit/s：请把适配器设为此波特率，然后点“全部等待”</translation>
    </message>
    <message>
        <source>另一项任务正在进行，请稍后/Another job is running: try again when it ends</source>
        <translation>另一项任务正在进行，请稍后</translation>
    </message>
    <message>
        <source>提示/Notice</source>
        <translation>提示</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>提示</translation>
    </message>
    <message>
        <source>节点ID %1已被使用，仍要分配？/Node-ID %1 is already in use. Assign it anyway?</source>
        <translation>节点ID %1已被使用，仍要分配？</translation>
    </message>
</context>
<context>
    <name>Node_table</name>
    <message>
        <source>节点
Node</source>
        <translation>节点</translation>
    </message>
    <message>
        <source>状态
State</source>
        <translation>状态</translation>
    </message>
    <message>
        <source>上次出现(s)
Last seen (s)</source>
        <translation>上次出现(s)</translation>
    </message>
    <message>
        <source>心跳周期(ms)
Heartbeat (ms)</source>
        <translation>心跳周期(ms)</translation>
    </message>
    <message>
        <source>紧急报文
EMCY</source>
        <translation>紧急报文</translation>
    </message>
    <message>
        <source>最近错误
Last error</source>
        <translation>最近错误</translation>
    </message>
    <message>
        <source>丢失/Lost</source>
        <translation>丢失</translation>
    </message>
</context>
<context>
    <name>Object_dictionary</name>
    <message>
        <source>对象字典/Objects</source>
        <translation>对象字典</translation>
    </message>
    <message>
        <source>CANopen</source>
        <translation>CANopen</translation>
    </message>
    <message>
        <source>自定义协议/Custom protocol</source>
        <translation>自定义协议</translation>
    </message>
    <message>
        <source>调试/Commissioning</source>
        <translation>调试</translation>
    </message>
</context>
<context>
    <name>Object_page</name>
    <message>
        <source>节点/Node</source>
        <translation>节点</translation>
    </message>
    <message>
        <source>读写、全部读取和导出所用的节点；不改变控制窗口的连接。
The node that Read, Write, Read all and Export talk to; the control windows keep their connection.</source>
        <translation>读写、全部读取和导出所用的节点；不改变控制窗口的连接。</translation>
    </message>
    <message>
        <source>索引/Index</source>
        <translation>索引</translation>
    </message>
    <message>
        <source>6041</source>
        <translation>6041</translation>
    </message>
    <message>
        <source>十六进制：6041、0x6041、6041h
Hexadecimal: 6041, 0x6041 or 6041h</source>
        <translation>十六进制：6041、0x6041、6041h</translation>
    </message>
    <message>
        <source>子索引/Sub</source>
        <translation>子索引</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>十六进制：10 即 0x10
Hexadecimal: 10 is 0x10</source>
        <translation>十六进制：10 即 0x10</translation>
    </message>
    <message>
        <source>类型/Type</source>
        <translation>类型</translation>
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
        <translation>值</translation>
    </message>
    <message>
        <source>读/Read</source>
        <translation>读</translation>
    </message>
    <message>
        <source>写/Write</source>
        <translation>写</translation>
    </message>
    <message>
        <source>打开EDS/Open EDS</source>
        <translation>打开EDS</translation>
    </message>
    <message>
        <source>全部读取/Read all</source>
        <translation>全部读取</translation>
    </message>
    <message>
        <source>导出DCF/Export DCF</source>
        <translation>导出DCF</translation>
    </message>
    <message>
        <source>保存参数/Save parameters</source>
        <translation>保存参数</translation>
    </message>
    <message>
        <source>恢复默认/Restore defaults</source>
        <translation>恢复默认</translation>
    </message>
    <message>
        <source>LSS节点配置/LSS</source>
        <translation>LSS节点配置</translation>
    </message>
    <message>
        <source>完成/done</source>
        <translation>完成</translation>
    </message>
    <message>
        <source>已取消/cancelled</source>
        <translation>已取消</translation>
    </message>
    <message>
        <source>请等待当前传输结束/Wait for the transfer in progress to end</source>
        <translation>请等待当前传输结束</translation>
    </message>
    <message>
        <source>请先在节点窗口扫描以打开适配器/Open the adapter first (Scan in the node window)</source>
        <translation>请先在节点窗口扫描以打开适配器</translation>
    </message>
    <message>
        <source>此关节固件不支持CANopen/This joint's firmware has no CANopen</source>
        <translation>此关节固件不支持CANopen</translation>
    </message>
    <message>
        <source>索引或子索引无效/Index or subindex is not a hex number in range</source>
        <translation>索引或子索引无效</translation>
    </message>
    <message>
        <source>正在读取/Reading %1</source>
        <translation>正在读取/Reading %1</translation>
    </message>
    <message>
        <source>读取完成/read %1 bytes, 过长无法显示/too long to show</source>
        <translation>读取完成/read %1 bytes, 过长无法显示/too long to show</translation>
    </message>
    <message>
        <source>读取完成/read %1 bytes</source>
        <translation>读取完成/read %1 bytes</translation>
    </message>
    <message>
        <source>正在写入/Writing %1</source>
        <translation>正在写入/Writing %1</translation>
    </message>
    <message>
        <source>写入完成/written</source>
        <translation>写入完成</translation>
    </message>
    <message>
        <source>提示/Notice</source>
        <translation>提示</translation>
    </message>
    <message>
        <source>%1个已读取的值在%2中没有位置（无此对象或文件自带值），打开后将不再显示。仍然打开？
%1 values read have no place in %2 (no such object, or the file gives its own value) and will no longer show. Open it anyway?</source>
        <translation>%1个已读取的值在%2中没有位置（无此对象或文件自带值），打开后将不再显示。仍然打开？</translation>
    </message>
    <message>
        <source>已载入/loaded %1 objects</source>
        <translation>已载入/loaded %1 objects</translation>
    </message>
    <message>
        <source>, 保留已读取的值/kept %1 values read</source>
        <translation>, 保留已读取的值/kept %1 values read</translation>
    </message>
    <message>
        <source>正在读取对象/Reading objects</source>
        <translation>正在读取对象</translation>
    </message>
    <message>
        <source>已读取/read %1, 被拒绝/refused %2</source>
        <translation>已读取/read %1, 被拒绝/refused %2</translation>
    </message>
    <message>
        <source>, 已取消/cancelled</source>
        <translation>, 已取消</translation>
    </message>
    <message>
        <source>, 节点无应答/the joint stopped answering</source>
        <translation>, 节点无应答</translation>
    </message>
    <message>
        <source>尚未读取任何值：DCF将含0个值。仍然导出？
Nothing was read: the DCF would hold 0 values. Export it anyway?</source>
        <translation>尚未读取任何值：DCF将含0个值。仍然导出？</translation>
    </message>
    <message>
        <source>无法写入/Cannot write %1</source>
        <translation>无法写入/Cannot write %1</translation>
    </message>
    <message>
        <source>已导出/exported %1: %2个值/%2 values</source>
        <translation>已导出/exported %1: %2个值/%2 values</translation>
    </message>
    <message>
        <source>将当前参数保存到关节(0x1010)？
Save the joint's parameters (0x1010)?</source>
        <translation>将当前参数保存到关节(0x1010)？</translation>
    </message>
    <message>
        <source>恢复默认参数(0x1011)？复位节点后生效。
Restore the default parameters (0x1011)? They apply after a reset node.</source>
        <translation>恢复默认参数(0x1011)？复位节点后生效。</translation>
    </message>
    <message>
        <source>警告/Warning</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>正在保存参数/Saving parameters</source>
        <translation>正在保存参数</translation>
    </message>
    <message>
        <source>正在恢复默认参数/Restoring defaults</source>
        <translation>正在恢复默认参数</translation>
    </message>
</context>
<context>
    <name>Register_page</name>
    <message>
        <source>寄存器/Register</source>
        <translation>寄存器</translation>
    </message>
    <message>
        <source>0x0002</source>
        <translation>0x0002</translation>
    </message>
    <message>
        <source>值/Value</source>
        <translation>值</translation>
    </message>
    <message>
        <source>十六进制/Hex</source>
        <translation>十六进制</translation>
    </message>
    <message>
        <source>读/Read</source>
        <translation>读</translation>
    </message>
    <message>
        <source>写/Write</source>
        <translation>写</translation>
    </message>
    <message>
        <source>读请求2字节(寄存器号)，写请求6字节(寄存器号+32位值，高字节在前)。
Read requests carry the 2-byte register number; writes add the 32-bit value, most significant byte first.</source>
        <translation>读请求2字节(寄存器号)，写请求6字节(寄存器号+32位值，高字节在前)。</translation>
    </message>
    <message>
        <source>请先连接节点/Connect a joint first</source>
        <translation>请先连接节点</translation>
    </message>
    <message>
        <source>寄存器号无效/Register number out of range (0-0xFFFF)</source>
        <translation>寄存器号无效</translation>
    </message>
    <message>
        <source>无应答/No reply</source>
        <translation>无应答</translation>
    </message>
    <message>
        <source>读取完成/read</source>
        <translation>读取完成</translation>
    </message>
    <message>
        <source>数值无效/Not a 32-bit value</source>
        <translation>数值无效</translation>
    </message>
    <message>
        <source>已发送，已收到应答/sent, answered</source>
        <translation>已发送，已收到应答</translation>
    </message>
</context>
<context>
    <name>Replay_panel</name>
    <message>
        <source>在此标签中按原有时序重现日志，不向总线发送任何帧/Plays the log back in this tab with its timing; no frame reaches the bus</source>
        <translation>在此标签中按原有时序重现日志，不向总线发送任何帧</translation>
    </message>
    <message>
        <source>回放到跟踪/Play back into the trace</source>
        <translation>回放到跟踪</translation>
    </message>
    <message>
        <source>把“发送选择”中勾选的帧发送到总线（先询问）/Sends the frames ticked under "To send" onto the bus (asks first)</source>
        <translation>把“发送选择”中勾选的帧发送到总线（先询问）</translation>
    </message>
    <message>
        <source>发送到总线/Send to the bus</source>
        <translation>发送到总线</translation>
    </message>
    <message>
        <source>开始/Start</source>
        <translation>开始</translation>
    </message>
    <message>
        <source>停止/Stop</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>速度/Speed</source>
        <translation>速度</translation>
    </message>
    <message>
        <source>x</source>
        <translation>x</translation>
    </message>
    <message>
        <source>最长间隔/Longest gap</source>
        <translation>最长间隔</translation>
    </message>
    <message>
        <source>日志中更长的间隔缩短为此值/Longer gaps of the log are shortened to this</source>
        <translation>日志中更长的间隔缩短为此值</translation>
    </message>
    <message>
        <source> s</source>
        <translation> s</translation>
    </message>
    <message>
        <source>回放已停止/Playback stopped</source>
        <translation>回放已停止</translation>
    </message>
    <message>
        <source>提示/Notice</source>
        <translation>提示</translation>
    </message>
    <message>
        <source>没有勾选要发送的帧（见“发送选择”）/No frames are ticked to send (see "To send")</source>
        <translation>没有勾选要发送的帧（见“发送选择”）</translation>
    </message>
    <message>
        <source>另有 %1 个标识符/and %1 more identifiers</source>
        <translation>另有 %1 个标识符</translation>
    </message>
    <message>
        <source>将向总线发送 %1 帧，发往 %2 个标识符/%1 frames go onto the bus, to %2 identifiers:</source>
        <translation>将向总线发送 %1 帧，发往 %2 个标识符</translation>
    </message>
    <message>
        <source>%1 帧此适配器无法发送，将跳过/%1 frames this adapter cannot send are skipped</source>
        <translation>%1 帧此适配器无法发送，将跳过</translation>
    </message>
    <message>
        <source>发送？/Send them?</source>
        <translation>发送？</translation>
    </message>
    <message>
        <source>总线已断开，回放停止/The bus is gone: playback stopped</source>
        <translation>总线已断开，回放停止</translation>
    </message>
    <message>
        <source>回放完成/Playback finished</source>
        <translation>回放完成</translation>
    </message>
    <message>
        <source>：发送 %1 帧/: %1 frames sent</source>
        <translation>：发送 %1 帧</translation>
    </message>
    <message>
        <source>，跳过 %1 帧（此适配器无法发送）/, %1 skipped (this adapter cannot send them)</source>
        <translation>，跳过 %1 帧（此适配器无法发送）</translation>
    </message>
    <message>
        <source>，%1 帧发送失败/, %1 could not be sent</source>
        <translation>，%1 帧发送失败</translation>
    </message>
</context>
<context>
    <name>Scope</name>
    <message>
        <source>示波器/Scope</source>
        <translation>示波器</translation>
    </message>
    <message>
        <source>记录/Record</source>
        <translation>记录</translation>
    </message>
    <message>
        <source>来源/Source</source>
        <translation>来源</translation>
    </message>
    <message>
        <source>SDO</source>
        <translation>SDO</translation>
    </message>
    <message>
        <source>PDO</source>
        <translation>PDO</translation>
    </message>
    <message>
        <source>采样率/Rate</source>
        <translation>采样率</translation>
    </message>
    <message>
        <source>记录上限/Cap</source>
        <translation>记录上限</translation>
    </message>
    <message>
        <source> min</source>
        <translation> min</translation>
    </message>
    <message>
        <source>运动触发/Trigger</source>
        <translation>运动触发</translation>
    </message>
    <message>
        <source>电平触发/Level trigger</source>
        <translation>电平触发</translation>
    </message>
    <message>
        <source>上升沿/Rising</source>
        <translation>上升沿</translation>
    </message>
    <message>
        <source>下降沿/Falling</source>
        <translation>下降沿</translation>
    </message>
    <message>
        <source>预触发/Pre-trigger</source>
        <translation>预触发</translation>
    </message>
    <message>
        <source> s</source>
        <translation> s</translation>
    </message>
    <message>
        <source>PNG含光标/Cursors in PNG</source>
        <translation>PNG含光标</translation>
    </message>
    <message>
        <source>导出CSV/Export CSV</source>
        <translation>导出CSV</translation>
    </message>
    <message>
        <source>导出PNG/Export PNG</source>
        <translation>导出PNG</translation>
    </message>
    <message>
        <source>通道/Channel</source>
        <translation>通道</translation>
    </message>
    <message>
        <source>对象/Object</source>
        <translation>对象</translation>
    </message>
    <message>
        <source>比例/Scale</source>
        <translation>比例</translation>
    </message>
    <message>
        <source>单位/Unit</source>
        <translation>单位</translation>
    </message>
    <message>
        <source>光标1/Cursor 1</source>
        <translation>光标1</translation>
    </message>
    <message>
        <source>光标2/Cursor 2</source>
        <translation>光标2</translation>
    </message>
    <message>
        <source>Δ</source>
        <translation>Δ</translation>
    </message>
    <message>
        <source>添加通道/Add channel</source>
        <translation>添加通道</translation>
    </message>
    <message>
        <source>删除通道/Remove channel</source>
        <translation>删除通道</translation>
    </message>
    <message>
        <source>归一化/Normalised</source>
        <translation>归一化</translation>
    </message>
    <message>
        <source>无应答，记录已停止/No reply: recording stopped</source>
        <translation>无应答，记录已停止</translation>
    </message>
    <message>
        <source>最多%1个通道/At most %1 channels</source>
        <translation>最多%1个通道</translation>
    </message>
    <message>
        <source>设置PDO/Setting up the PDOs</source>
        <translation>设置PDO</translation>
    </message>
    <message>
        <source>取消/Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>无法用PDO采样/Cannot sample by PDO: %1</source>
        <translation>无法用PDO采样/Cannot sample by PDO: %1</translation>
    </message>
    <message>
        <source>未记录/Not recorded</source>
        <translation>未记录</translation>
    </message>
    <message>
        <source>驱动器拒绝了PDO设置，已恢复原样/The drive refused the PDO set-up; what was changed is put back: %1</source>
        <translation>驱动器拒绝了PDO设置，已恢复原样/The drive refused the PDO set-up; what was changed is put back: %1</translation>
    </message>
    <message>
        <source>驱动器未能全部恢复PDO/The drive did not take all of its PDOs back: %1</source>
        <translation>驱动器未能全部恢复PDO/The drive did not take all of its PDOs back: %1</translation>
    </message>
    <message>
        <source>未连接关节/No joint connected</source>
        <translation>未连接关节</translation>
    </message>
    <message>
        <source>没有通道/No channel</source>
        <translation>没有通道</translation>
    </message>
    <message>
        <source>PDO仅用于CANopen：按自定义协议读取/PDO needs CANopen: reading by the custom protocol</source>
        <translation>PDO仅用于CANopen：按自定义协议读取</translation>
    </message>
    <message>
        <source>SDO最高%1 Hz/SDO at most %1 Hz</source>
        <translation>SDO最高%1 Hz</translation>
    </message>
    <message>
        <source>左键：光标1，右键：光标2/Left click: cursor 1, right click: cursor 2</source>
        <translation>左键：光标1，右键：光标2</translation>
    </message>
    <message>
        <source>停止/Stop</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>等待电平触发/Waiting for the level trigger</source>
        <translation>等待电平触发</translation>
    </message>
    <message>
        <source>等待运动指令/Waiting for a motion command</source>
        <translation>等待运动指令</translation>
    </message>
    <message>
        <source>记录中/Recording: %1 samples, %2 s</source>
        <translation>记录中/Recording: %1 samples, %2 s</translation>
    </message>
    <message>
        <source>已停止/Stopped: %1 samples, %2 s</source>
        <translation>已停止/Stopped: %1 samples, %2 s</translation>
    </message>
    <message>
        <source>无应答/No reply: %1</source>
        <translation>无应答/No reply: %1</translation>
    </message>
    <message>
        <source>未收到PDO：关节是否处于运行状态(NMT启动)？/No PDO arrives: is the joint operational (NMT start)?</source>
        <translation>未收到PDO：关节是否处于运行状态(NMT启动)？</translation>
    </message>
    <message>
        <source>已达上限，丢弃最早的%1个样本/Cap reached: the oldest %1 samples dropped</source>
        <translation>已达上限，丢弃最早的%1个样本</translation>
    </message>
    <message>
        <source>导出中/Exporting</source>
        <translation>导出中</translation>
    </message>
    <message>
        <source>无法写入文件/Cannot write the file: %1</source>
        <translation>无法写入文件/Cannot write the file: %1</translation>
    </message>
    <message>
        <source>= %1 样本/samples, ≈ %2 MB</source>
        <translation>= %1 样本，≈ %2 MB</translation>
    </message>
    <message>
        <source>已保存/Saved: %1</source>
        <translation>已保存/Saved: %1</translation>
    </message>
    <message>
        <source>错误/Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>无法用记录器记录/Cannot record with the drive's recorder: %1</source>
        <translation>无法用记录器记录/Cannot record with the drive's recorder: %1</translation>
    </message>
    <message>
        <source>驱动器拒绝了记录器设置，已恢复原样/The drive refused the recorder set-up; what was changed is put back: %1</source>
        <translation>驱动器拒绝了记录器设置，已恢复原样/The drive refused the recorder set-up; what was changed is put back: %1</translation>
    </message>
    <message>
        <source>记录器已启动，等待触发/Recorder armed: waiting for the trigger</source>
        <translation>记录器已启动，等待触发</translation>
    </message>
    <message>
        <source>记录器记录中/The recorder is recording</source>
        <translation>记录器记录中</translation>
    </message>
    <message>
        <source>驱动器无应答，记录器已停止/The drive does not answer: recorder stopped</source>
        <translation>驱动器无应答，记录器已停止</translation>
    </message>
    <message>
        <source>记录器已触发，记录中/Recorder triggered: recording</source>
        <translation>记录器已触发，记录中</translation>
    </message>
    <message>
        <source>记录器已被停止/The recorder was stopped on the drive</source>
        <translation>记录器已被停止</translation>
    </message>
    <message>
        <source>上传失败/The upload failed: %1</source>
        <translation>上传失败/The upload failed: %1</translation>
    </message>
    <message>
        <source>%1个采样，%2字节，上传%3 ms/%1 samples, %2 bytes, uploaded in %3 ms</source>
        <translation>%1个采样，%2字节，上传%3 ms</translation>
    </message>
    <message>
        <source>上传记录/Uploading the recording</source>
        <translation>上传记录</translation>
    </message>
    <message>
        <source>总线忙/The bus is busy</source>
        <translation>总线忙</translation>
    </message>
    <message>
        <source>驱动器未能全部恢复记录器设置/The drive did not take all of its recorder settings back: %1</source>
        <translation>驱动器未能全部恢复记录器设置/The drive did not take all of its recorder settings back: %1</translation>
    </message>
    <message>
        <source>记录器仅用于CANopen/The recorder needs CANopen</source>
        <translation>记录器仅用于CANopen</translation>
    </message>
    <message>
        <source>已取消/Cancelled</source>
        <translation>已取消</translation>
    </message>
    <message>
        <source>总线%1未打开/Bus %1 is not open</source>
        <translation>总线%1未打开</translation>
    </message>
    <message>
        <source>总线/Bus %1 节点/Node %2</source>
        <translation>总线/Bus %1 节点/Node %2</translation>
    </message>
    <message>
        <source>节点/Node %1</source>
        <translation>节点/Node %1</translation>
    </message>
    <message>
        <source>示波器/Scope — %1 — %2 — %3</source>
        <translation>示波器/Scope — %1 — %2 — %3</translation>
    </message>
</context>
<context>
    <name>Sequences</name>
    <message>
        <source>测试序列/Sequences</source>
        <translation>测试序列</translation>
    </message>
    <message>
        <source>打开脚本/Open script</source>
        <translation>打开脚本</translation>
    </message>
    <message>
        <source>保存脚本/Save script</source>
        <translation>保存脚本</translation>
    </message>
    <message>
        <source>运行/Run</source>
        <translation>运行</translation>
    </message>
    <message>
        <source>停止/Stop</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>保存结果/Save results</source>
        <translation>保存结果</translation>
    </message>
    <message>
        <source>就绪/Ready</source>
        <translation>就绪</translation>
    </message>
    <message>
        <source>错误/Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>脚本/Scripts (*.js)</source>
        <translation>脚本</translation>
    </message>
    <message>
        <source>JUnit XML (*.xml)</source>
        <translation>JUnit XML (*.xml)</translation>
    </message>
    <message>
        <source>总线未打开/The bus is not open</source>
        <translation>总线未打开</translation>
    </message>
    <message>
        <source>通过/Passed</source>
        <translation>通过</translation>
    </message>
    <message>
        <source>失败/Failed</source>
        <translation>失败</translation>
    </message>
    <message>
        <source>已停止/Stopped</source>
        <translation>已停止</translation>
    </message>
    <message>
        <source>在此编写或打开脚本 (JavaScript)
Write or open a script here (JavaScript)</source>
        <translation>在此编写或打开脚本 (JavaScript)</translation>
    </message>
    <message>
        <source>无法读取文件/Cannot read the file</source>
        <translation>无法读取文件</translation>
    </message>
    <message>
        <source>无法写入文件/Cannot write the file</source>
        <translation>无法写入文件</translation>
    </message>
    <message>
        <source>运行中/Running</source>
        <translation>运行中</translation>
    </message>
    <message>
        <source>时间/Time (s)</source>
        <translation>时间</translation>
    </message>
    <message>
        <source>检查/Check</source>
        <translation>检查</translation>
    </message>
    <message>
        <source>实际/Actual</source>
        <translation>实际</translation>
    </message>
    <message>
        <source>期望/Expected</source>
        <translation>期望</translation>
    </message>
    <message>
        <source>容差/Tol.</source>
        <translation>容差</translation>
    </message>
    <message>
        <source>结果/Result</source>
        <translation>结果</translation>
    </message>
    <message>
        <source>其他检查/other checks</source>
        <translation>其他检查</translation>
    </message>
    <message>
        <source>失败/failed</source>
        <translation>失败</translation>
    </message>
    <message>
        <source>通过/pass</source>
        <translation>通过</translation>
    </message>
    <message>
        <source>失败/FAIL</source>
        <translation>失败</translation>
    </message>
    <message>
        <source>脚本/Scripts</source>
        <translation>脚本</translation>
    </message>
    <message>
        <source>所有文件/All files</source>
        <translation>所有文件</translation>
    </message>
    <message>
        <source>已保存/Saved: %1</source>
        <translation>已保存/Saved: %1</translation>
    </message>
</context>
<context>
    <name>Set_node</name>
    <message>
        <source>设备连接</source>
        <translation>设备连接</translation>
    </message>
    <message>
        <source>设备连接
Connection Settings</source>
        <translation>设备连接</translation>
    </message>
    <message>
        <source>扫描范围
ID Range    </source>
        <translation>扫描范围</translation>
    </message>
    <message>
        <source>1</source>
        <translation>1</translation>
    </message>
    <message>
        <source>一</source>
        <translation>一</translation>
    </message>
    <message>
        <source>64</source>
        <translation>64</translation>
    </message>
    <message>
        <source>扫描
Scanning</source>
        <translation>扫描</translation>
    </message>
    <message>
        <source>连接
Connect</source>
        <translation>连接</translation>
    </message>
    <message>
        <source>断开
Disconnect</source>
        <translation>断开</translation>
    </message>
    <message>
        <source>通信周期
Communication Cycle          </source>
        <translation>通信周期</translation>
    </message>
    <message>
        <source>μs </source>
        <translation>μs </translation>
    </message>
    <message>
        <source>固件版本
Firmware                     </source>
        <translation>固件版本</translation>
    </message>
    <message>
        <source>通讯协议
Communication Protocol       </source>
        <translation>通讯协议</translation>
    </message>
    <message>
        <source>CAN自定义</source>
        <translation>CAN自定义</translation>
    </message>
    <message>
        <source>CANopen</source>
        <translation>CANopen</translation>
    </message>
    <message>
        <source>保存参数
Save</source>
        <translation>保存参数</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>输入范围错误！
</source>
        <translation>输入范围错误！
</translation>
    </message>
    <message>
        <source>打开CAN设备失败，CAN通道被占用或未连接设备...
</source>
        <translation>打开CAN设备失败，CAN通道被占用或未连接设备...
</translation>
    </message>
    <message>
        <source>初始化CAN设备失败
</source>
        <translation>初始化CAN设备失败
</translation>
    </message>
    <message>
        <source>启动CAN通道失败
</source>
        <translation>启动CAN通道失败
</translation>
    </message>
    <message>
        <source>关闭CAN设备失败
</source>
        <translation>关闭CAN设备失败
</translation>
    </message>
    <message>
        <source>未找到正确ID号请重新扫描</source>
        <translation>未找到正确ID号请重新扫描</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>提示</translation>
    </message>
    <message>
        <source>保存成功，断电重连后生效</source>
        <translation>保存成功，断电重连后生效</translation>
    </message>
    <message>
        <source>保存失败，驱动器无应答
</source>
        <translation>保存失败，驱动器无应答
</translation>
    </message>
</context>
<context>
    <name>Velmora</name>
    <message>
        <source>连接
Connect</source>
        <translation>连接</translation>
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
        <translation>
background-color: rgb(255, 255, 0);</translation>
    </message>
    <message>
        <source>background-color: rgb(85, 170, 255);</source>
        <translation>background-color: rgb(85, 170, 255);</translation>
    </message>
    <message>
        <source>帮助
help</source>
        <translation>帮助</translation>
    </message>
    <message>
        <source>运动
Motion</source>
        <translation>运动</translation>
    </message>
    <message>
        <source>监控
Monitor</source>
        <translation>监控</translation>
    </message>
    <message>
        <source>自定义
Custom</source>
        <translation>自定义</translation>
    </message>
    <message>
        <source>language</source>
        <translation>语言</translation>
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
        <translation>警告</translation>
    </message>
    <message>
        <source>请先关闭其他上位机程序或检查是否连接好调试器
</source>
        <translation>请先关闭其他上位机程序或检查是否连接好调试器
</translation>
    </message>
    <message>
        <source>对象字典
Objects</source>
        <translation>对象字典</translation>
    </message>
    <message>
        <source>示波器
Scope</source>
        <translation>示波器</translation>
    </message>
    <message>
        <source>工具/Tools</source>
        <translation>工具</translation>
    </message>
    <message>
        <source>总线跟踪/Bus trace</source>
        <translation>总线跟踪</translation>
    </message>
    <message>
        <source>示波器/Scope</source>
        <translation>示波器</translation>
    </message>
    <message>
        <source>对象字典/Objects</source>
        <translation>对象字典</translation>
    </message>
    <message>
        <source>测试序列/Sequences</source>
        <translation>测试序列</translation>
    </message>
    <message>
        <source>仿真总线无法打开/The simulated bus could not be opened</source>
        <translation>仿真总线无法打开</translation>
    </message>
    <message>
        <source>语言/Language</source>
        <translation>语言</translation>
    </message>
    <message>
        <source>中英双语/Both languages</source>
        <translation>中英双语</translation>
    </message>
    <message>
        <source>英文/English</source>
        <translation>英文</translation>
    </message>
    <message>
        <source>中文/Chinese</source>
        <translation>中文</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>提示</translation>
    </message>
    <message>
        <source>请先关闭当前运动控制界面</source>
        <translation>请先关闭当前运动控制界面</translation>
    </message>
    <message>
        <source>此固件版本号为EtherCAT,不支持CANopen通讯，是否切换至CAN自定义协议进行测试</source>
        <translation>此固件版本号为EtherCAT,不支持CANopen通讯，是否切换至CAN自定义协议进行测试</translation>
    </message>
    <message>
        <source>帮助/Help</source>
        <translation>帮助</translation>
    </message>
    <message>
        <source>没有能打开 PDF 的程序。手册在：
No PDF viewer could open the manual. It is at:
%1</source>
        <translation>没有能打开 PDF 的程序。手册在：
No PDF viewer could open the manual. It is at:
%1</translation>
    </message>
    <message>
        <source>关节/Joints</source>
        <translation>关节</translation>
    </message>
</context>
<context>
    <name>bench_model</name>
    <message>
        <source>节点/Node</source>
        <translation>节点</translation>
    </message>
    <message>
        <source>名称/Name</source>
        <translation>名称</translation>
    </message>
    <message>
        <source>DCF</source>
        <translation>DCF</translation>
    </message>
    <message>
        <source>状态/State</source>
        <translation>状态</translation>
    </message>
    <message>
        <source>应有身份/Expected identity (vendor / product / revision / serial)</source>
        <translation>应有身份</translation>
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
        <translation>位置控制</translation>
    </message>
    <message>
        <source>速度控制/Speed Cntrol</source>
        <translation>速度控制</translation>
    </message>
    <message>
        <source>力矩控制/Torque Control</source>
        <translation>力矩控制</translation>
    </message>
    <message>
        <source>速度
Speed     </source>
        <translation>速度</translation>
    </message>
    <message>
        <source>cnt/s         </source>
        <translation>cnt/s         </translation>
    </message>
    <message>
        <source>加速度
Acc       </source>
        <translation>加速度</translation>
    </message>
    <message>
        <source>cnt/s²        </source>
        <translation>cnt/s²        </translation>
    </message>
    <message>
        <source>减速度
Dec       </source>
        <translation>减速度</translation>
    </message>
    <message>
        <source>使能
Enable</source>
        <translation>使能</translation>
    </message>
    <message>
        <source>下使能
Disable</source>
        <translation>下使能</translation>
    </message>
    <message>
        <source>应用
Apply</source>
        <translation>应用</translation>
    </message>
    <message>
        <source>停止
Stop</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>绝对位置运动/Move Absolute</source>
        <translation>绝对位置运动</translation>
    </message>
    <message>
        <source>运动
Move to</source>
        <translation>运动</translation>
    </message>
    <message>
        <source>cnt    </source>
        <translation>cnt    </translation>
    </message>
    <message>
        <source>往返运动
Repetitive</source>
        <translation>往返运动</translation>
    </message>
    <message>
        <source>相对位置运动/Move Relative</source>
        <translation>相对位置运动</translation>
    </message>
    <message>
        <source>向后
Backwards</source>
        <translation>向后</translation>
    </message>
    <message>
        <source>向前
Forward</source>
        <translation>向前</translation>
    </message>
    <message>
        <source>cnt</source>
        <translation>cnt</translation>
    </message>
    <message>
        <source>持续运动/Continuous</source>
        <translation>持续运动</translation>
    </message>
    <message>
        <source>设置控制模式
Set cortrol mode</source>
        <translation>设置控制模式</translation>
    </message>
    <message>
        <source>配置模拟量
Set analog quantity</source>
        <translation>配置模拟量</translation>
    </message>
    <message>
        <source>模拟量/Analog quantity</source>
        <translation>模拟量</translation>
    </message>
    <message>
        <source>最大速度限制
Max Motor Speed   </source>
        <translation>最大速度限制</translation>
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
        <translation>目标电流</translation>
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
        <translation>目标速度</translation>
    </message>
    <message>
        <source>cnt/s  </source>
        <translation>cnt/s  </translation>
    </message>
    <message>
        <source>状态/Status</source>
        <translation>状态</translation>
    </message>
    <message>
        <source>速度
Speed</source>
        <translation>速度</translation>
    </message>
    <message>
        <source>cnt/s</source>
        <translation>cnt/s</translation>
    </message>
    <message>
        <source>位置
Position</source>
        <translation>位置</translation>
    </message>
    <message>
        <source>电机电流
Current</source>
        <translation>电机电流</translation>
    </message>
    <message>
        <source>mA</source>
        <translation>mA</translation>
    </message>
    <message>
        <source>状态
Status</source>
        <translation>状态</translation>
    </message>
    <message>
        <source>CAN自定义协议控制</source>
        <translation>CAN自定义协议控制</translation>
    </message>
</context>
<context>
    <name>control_CANopen</name>
    <message>
        <source>CANopen运动控制</source>
        <translation>CANopen运动控制</translation>
    </message>
    <message>
        <source>关闭节点
Stop remote node</source>
        <translation>关闭节点</translation>
    </message>
    <message>
        <source>复位节点
Reset communication</source>
        <translation>复位节点</translation>
    </message>
    <message>
        <source>设置模式
Set operating mode</source>
        <translation>设置模式</translation>
    </message>
    <message>
        <source>配置速度
Set Speed</source>
        <translation>配置速度</translation>
    </message>
    <message>
        <source>关闭Sync
Disable cob-id sync</source>
        <translation>关闭Sync</translation>
    </message>
    <message>
        <source>通信周期
Set communication cycle</source>
        <translation>通信周期</translation>
    </message>
    <message>
        <source>TPDO映射
TPDO mapping</source>
        <translation>TPDO映射</translation>
    </message>
    <message>
        <source>RPDO映射
RPDO mapping</source>
        <translation>RPDO映射</translation>
    </message>
    <message>
        <source>开启通信
Start remote node</source>
        <translation>开启通信</translation>
    </message>
    <message>
        <source>开启Sync
Sync command</source>
        <translation>开启Sync</translation>
    </message>
    <message>
        <source>使能
Enable</source>
        <translation>使能</translation>
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
        <translation>模式</translation>
    </message>
    <message>
        <source>工作模式/Operating mode</source>
        <translation>工作模式</translation>
    </message>
    <message>
        <source>轮廓位置模式/Profile Position Mode</source>
        <translation>轮廓位置模式</translation>
    </message>
    <message>
        <source>轮廓速度模式/Profile Velocity Mode</source>
        <translation>轮廓速度模式</translation>
    </message>
    <message>
        <source>轮廓扭矩模式/Profile Torque Mode</source>
        <translation>轮廓扭矩模式</translation>
    </message>
    <message>
        <source>周期同步位置模式/Cyclic Synchronous Position Mode</source>
        <translation>周期同步位置模式</translation>
    </message>
    <message>
        <source>周期同步速度模式/Cyclic Synchronous Velocity Mode</source>
        <translation>周期同步速度模式</translation>
    </message>
    <message>
        <source>周期同步扭矩模式/Cyclic Synchronous Torque Mode</source>
        <translation>周期同步扭矩模式</translation>
    </message>
    <message>
        <source>位置插补模式/Interpolation Position Mode</source>
        <translation>位置插补模式</translation>
    </message>
    <message>
        <source>速度/Velocity(cnt/s)</source>
        <translation>速度</translation>
    </message>
    <message>
        <source>加速度/Acceleration(cnt/s²)</source>
        <translation>加速度</translation>
    </message>
    <message>
        <source>减速度/Deceleration(cnt/s²)</source>
        <translation>减速度</translation>
    </message>
    <message>
        <source>绝对位置运动/Move Absolute</source>
        <translation>绝对位置运动</translation>
    </message>
    <message>
        <source>目标位置/Target position(cnt)</source>
        <translation>目标位置</translation>
    </message>
    <message>
        <source>应用
Apply</source>
        <translation>应用</translation>
    </message>
    <message>
        <source>开始运动
Motion</source>
        <translation>开始运动</translation>
    </message>
    <message>
        <source>停止
Stop</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>下使能
Disable</source>
        <translation>下使能</translation>
    </message>
    <message>
        <source>目标速度/Target velocity(cnt/s)</source>
        <translation>目标速度</translation>
    </message>
    <message>
        <source>目标扭矩/Target torque(mN·m)</source>
        <translation>目标扭矩</translation>
    </message>
    <message>
        <source>开始运动
Move</source>
        <translation>开始运动</translation>
    </message>
    <message>
        <source>应用
Apple</source>
        <translation>应用</translation>
    </message>
    <message>
        <source>状态/Status</source>
        <translation>状态</translation>
    </message>
    <message>
        <source>实际位置/Position(cnt)</source>
        <translation>实际位置</translation>
    </message>
    <message>
        <source>实际速度/Speed(cnt/s)</source>
        <translation>实际速度</translation>
    </message>
    <message>
        <source>实际电流/Current(mA)</source>
        <translation>实际电流</translation>
    </message>
    <message>
        <source>状态/State</source>
        <translation>状态</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>请输入1000cnt以内的相对运动值</source>
        <translation>请输入1000cnt以内的相对运动值</translation>
    </message>
</context>
<context>
    <name>custom_send</name>
    <message>
        <source>自定义数据收发</source>
        <translation>自定义数据收发</translation>
    </message>
    <message>
        <source>帧ID
Frame ID       </source>
        <translation>帧ID</translation>
    </message>
    <message>
        <source>Data         </source>
        <translation>Data         </translation>
    </message>
    <message>
        <source>远程帧
Remote</source>
        <translation>远程帧</translation>
    </message>
    <message>
        <source>发送
Send</source>
        <translation>发送</translation>
    </message>
    <message>
        <source>清空
Clear</source>
        <translation>清空</translation>
    </message>
    <message>
        <source>帧ID/Frame ID</source>
        <translation>帧ID</translation>
    </message>
    <message>
        <source>状态/Status</source>
        <translation>状态</translation>
    </message>
    <message>
        <source>数据/Data</source>
        <translation>数据</translation>
    </message>
    <message>
        <source>发送成功</source>
        <translation>发送成功</translation>
    </message>
    <message>
        <source>接收</source>
        <translation>接收</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>输入数据格式错误</source>
        <translation>输入数据格式错误</translation>
    </message>
</context>
<context>
    <name>dcf_diff_model</name>
    <message>
        <source>节点/Node</source>
        <translation>节点</translation>
    </message>
    <message>
        <source>索引/Index</source>
        <translation>索引</translation>
    </message>
    <message>
        <source>子索引/Sub</source>
        <translation>子索引</translation>
    </message>
    <message>
        <source>名称/Name</source>
        <translation>名称</translation>
    </message>
    <message>
        <source>DCF值/DCF value</source>
        <translation>DCF值</translation>
    </message>
    <message>
        <source>驱动器值/Drive</source>
        <translation>驱动器值</translation>
    </message>
    <message>
        <source>状态/State</source>
        <translation>状态</translation>
    </message>
</context>
<context>
    <name>documents</name>
    <message>
        <source>未检测到错误</source>
        <translation>未检测到错误</translation>
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
        <translation>设备类型</translation>
    </message>
    <message>
        <source>USBCAN-Ⅰ</source>
        <translation>USBCAN-Ⅰ</translation>
    </message>
    <message>
        <source>通讯协议</source>
        <translation>通讯协议</translation>
    </message>
    <message>
        <source>CAN自定义</source>
        <translation>CAN自定义</translation>
    </message>
    <message>
        <source>CANopen</source>
        <translation>CANopen</translation>
    </message>
    <message>
        <source>CAN通道</source>
        <translation>CAN通道</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>工作模式</source>
        <translation>工作模式</translation>
    </message>
    <message>
        <source>正常模式</source>
        <translation>正常模式</translation>
    </message>
    <message>
        <source>波特率</source>
        <translation>波特率</translation>
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
        <translation>打开设备</translation>
    </message>
    <message>
        <source>关闭设备</source>
        <translation>关闭设备</translation>
    </message>
    <message>
        <source>连接设置</source>
        <translation>连接设置</translation>
    </message>
</context>
<context>
    <name>monitor</name>
    <message>
        <source>数据监控</source>
        <translation>数据监控</translation>
    </message>
    <message>
        <source>数据监控
Monitor</source>
        <translation>数据监控</translation>
    </message>
    <message>
        <source>开启
ON</source>
        <translation>开启</translation>
    </message>
    <message>
        <source>清空
Clear</source>
        <translation>清空</translation>
    </message>
    <message>
        <source>停止
OFF</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>数据/Data</source>
        <translation>数据</translation>
    </message>
    <message>
        <source>时间/Time</source>
        <translation>时间</translation>
    </message>
    <message>
        <source>状态/Status</source>
        <translation>状态</translation>
    </message>
    <message>
        <source>帧ID/Frame ID</source>
        <translation>帧ID</translation>
    </message>
    <message>
        <source>报文数据/Message</source>
        <translation>报文数据</translation>
    </message>
    <message>
        <source>注释/State</source>
        <translation>注释</translation>
    </message>
    <message>
        <source>导出
Export</source>
        <translation>导出</translation>
    </message>
    <message>
        <source>关闭
Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>Excle file</source>
        <translation>导出文件</translation>
    </message>
    <message>
        <source>Excel Files(*.xlsx)</source>
        <translation>Excel Files(*.xlsx)</translation>
    </message>
    <message>
        <source>行数上限/Row limit: %1</source>
        <translation>行数上限：%1</translation>
    </message>
    <message>
        <source>已达行数上限，记录已暂停；导出或清空后继续/Row limit reached: logging paused; export or clear to go on</source>
        <translation>已达行数上限，记录已暂停；导出或清空后继续</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>提示</translation>
    </message>
    <message>
        <source>文件已存在，是否替换
%1</source>
        <translation>文件已存在，是否替换
%1</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>文件导出失败：%1
%2</source>
        <translation>文件导出失败：%1
%2</translation>
    </message>
    <message>
        <source>完成</source>
        <translation>完成</translation>
    </message>
    <message>
        <source>文件已导出，是否打开
%1</source>
        <translation>文件已导出，是否打开
%1</translation>
    </message>
</context>
<context>
    <name>nmt_state</name>
    <message>
        <source>启动/Boot-up</source>
        <translation>启动</translation>
    </message>
    <message>
        <source>停止/Stopped</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>运行/Operational</source>
        <translation>运行</translation>
    </message>
    <message>
        <source>预运行/Pre-operational</source>
        <translation>预运行</translation>
    </message>
    <message>
        <source>未知/Unknown</source>
        <translation>未知</translation>
    </message>
</context>
<context>
    <name>number_fields</name>
    <message>
        <source>错误</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>输入数据格式错误</source>
        <translation>输入数据格式错误</translation>
    </message>
</context>
<context>
    <name>od_tree_model</name>
    <message>
        <source>索引
Index</source>
        <translation>索引</translation>
    </message>
    <message>
        <source>子索引
Sub</source>
        <translation>子索引</translation>
    </message>
    <message>
        <source>名称
Name</source>
        <translation>名称</translation>
    </message>
    <message>
        <source>类型
Type</source>
        <translation>类型</translation>
    </message>
    <message>
        <source>访问
Access</source>
        <translation>访问</translation>
    </message>
    <message>
        <source>默认值
Default</source>
        <translation>默认值</translation>
    </message>
    <message>
        <source>范围
Limits</source>
        <translation>范围</translation>
    </message>
    <message>
        <source>读取值
Value</source>
        <translation>读取值</translation>
    </message>
    <message>
        <source>与默认值不同/differs from the default %1</source>
        <translation>与默认值不同/differs from the default %1</translation>
    </message>
</context>
</TS>