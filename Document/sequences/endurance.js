// Endurance run: every joint goes back and forth between A and B, N times, one joint after the
// other. At each stop the position error is checked against TOLERANCE; at the end each joint's
// error is summarised (min / mean / max) and its largest error checked once more.
//
// As written it runs on the simulated joints (velmora --bus sim --run endurance.js): CANopen
// joints 1 and 2, and joint 3 of the maker's protocol (EtherCAT firmware, no CANopen). Name your
// own joints below and raise N for a long run (N = 5000 is 10,000 moves per joint; the results
// table keeps the first checks row by row and summarises the rest).

var JOINTS = [
    { name: "CANopen 1", joint: canopen(1) },
    { name: "CANopen 2", joint: canopen(2) },
    { name: "custom 3", joint: custom(3) }
];
var N = 10;                 // back-and-forth moves per joint
var A = 0, B = 5000;        // the two stops, cnt
var TOLERANCE = 10;         // cnt
var SPEED = 200000;         // cnt/s
var RAMP = 5000000;         // acceleration and deceleration, cnt/s²
var TIMEOUT = 5000;         // ms for one move

JOINTS.forEach(function (j) {
    j.joint.enable();
    j.joint.profile(SPEED, RAMP, RAMP);
    j.joint.moveTo(A, TIMEOUT);
    j.errors = [];
    log(j.name + ": enabled, at " + j.joint.position() + " cnt");
});

function stop_at(j, target) {
    j.joint.moveTo(target, TIMEOUT);
    var error = j.joint.position() - target;
    j.errors.push(error);
    check(j.name + " at " + target, error, 0, TOLERANCE);
}

for (var i = 1; i <= N; ++i) {
    JOINTS.forEach(function (j) {
        stop_at(j, B);
        stop_at(j, A);
    });
    if (i % 10 === 0 || i === N)
        log("round " + i + " of " + N + " done");
}

JOINTS.forEach(function (j) {
    var min = Infinity, max = -Infinity, sum = 0;
    j.errors.forEach(function (e) {
        min = Math.min(min, e);
        max = Math.max(max, e);
        sum += e;
    });
    var mean = sum / j.errors.length;
    log(j.name + ": position error over " + j.errors.length + " stops: min " + min + ", mean " +
        mean.toFixed(2) + ", max " + max + " cnt");
    check(j.name + " largest position error", Math.max(Math.abs(min), Math.abs(max)), 0, TOLERANCE);
    check(j.name + " drive error code", j.joint.error(), 0);
    j.joint.disable();
});
