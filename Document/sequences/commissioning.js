// Commissioning check: identity, a few parameters, enable, a move, disable, once for a CiA 402
// joint over CANopen and once for a joint of the maker's protocol. The expected values are those
// of the simulated joints (velmora --bus sim --run commissioning.js): put your drive's here.

var CANOPEN_NODE = 1;
var CUSTOM_NODE = 3;
var MOVE = 10000;           // cnt, from where the joint stands
var TOLERANCE = 10;         // cnt

// ---- CANopen joint ---------------------------------------------------------------------------
var c = canopen(CANOPEN_NODE);

// Identity (CiA 301): a CiA 402 servo drive, and who made it.
var deviceType = c.read(0x1000, 0);
check("device profile (0x1000 low word)", deviceType & 0xFFFF, 402);
log("device name: " + c.read(0x1008, 0));
log("software version: " + c.read(0x100A, 0));
check("product code (0x1018:2)", c.read(0x1018, 2), 0x402);
log("revision 0x" + c.read(0x1018, 3).toString(16) + ", serial number " + c.read(0x1018, 4));

// Parameters: written, then read back.
c.write(0x2100, 0, 120, "UNSIGNED16");
check("position loop gain (0x2100)", c.read(0x2100, 0, "UNSIGNED16"), 120);
c.profile(50000, 500000, 500000);
check("profile velocity (0x6081)", c.read(0x6081, 0), 50000);
check("rated current (0x6075), mA", c.read(0x6075, 0), 3000);

// Power, one move there and back, power off.
c.enable();
var start = c.position();
c.moveBy(MOVE);
check("CANopen move", c.position(), start + MOVE, TOLERANCE);
c.moveTo(start);
check("CANopen move back", c.position(), start, TOLERANCE);
check("CANopen drive error code", c.error(), 0);
c.disable();

// ---- joint of the maker's protocol -----------------------------------------------------------
var m = custom(CUSTOM_NODE);
log("firmware number " + m.register(0x0001));
check("EtherCAT firmware (number ends in 0)", m.register(0x0001) % 10, 0);
m.profile(50000, 500000, 500000);
check("profile speed (register 0x008A)", m.register(0x008A), 50000);
m.enable();
var home = m.position();
m.moveBy(-MOVE);
check("custom move", m.position(), home - MOVE, TOLERANCE);
m.moveTo(home);
check("custom move back", m.position(), home, TOLERANCE);
check("custom drive error code", m.error(), 0);
m.disable();
