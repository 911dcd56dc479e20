// A six-joint arm of CiA 402 joints (nodes 1-6): all six homed together where they stand, then
// moved together to a pose and back, each position checked once all of them arrived.
//   VELMORA_SIM_NODES=1:10231,2:10231,3:10231,4:10231,5:10231,6:10231 velmora --run arm.js
var arm = [];
for (var node = 1; node <= 6; ++node) {
    var j = canopen(node);
    j.enable();
    j.profile(40000, 400000, 400000);
    j.home(35, {offset: 0, wait: false});
    arm.push(j);
}
waitAll.apply(null, arm);
var pose = [12000, -8000, 16000, -4000, 6000, -10000];

function moveAll(targets) {
    for (var i = 0; i < arm.length; ++i)
        arm[i].moveTo(targets[i], {wait: false, timeout: 10000});
    waitAll.apply(null, arm);
    for (var k = 0; k < arm.length; ++k)
        check("J" + (k + 1) + " at " + targets[k], arm[k].position(), targets[k]);
}

moveAll(pose);
moveAll([0, 0, 0, 0, 0, 0]);
for (var m = 0; m < arm.length; ++m)
    arm[m].disable();
