#pragma once
// Work of many transactions (a discovery, a DCF compare or download) done one transaction per
// step, so that whoever runs it lets the event loop turn between two steps: the window repaints,
// Cancel is taken, the control windows' polls get their turn on the bus. Nothing here waits
// longer than the one transaction of a step.
namespace objects {

class step_job {
public:
    virtual ~step_job() = default;
    // Runs the next transaction; does nothing once done().
    virtual void step() = 0;
    virtual bool done() const = 0;
    // Steps done and the steps expected in all (an estimate that may grow), for a progress bar.
    virtual int steps_done() const = 0;
    virtual int steps_expected() const = 0;
    // Ends the job at the next point where stopping leaves every node in a sound state; done()
    // then holds after at most the steps that reach that point.
    virtual void cancel() = 0;
};

}  // namespace objects
