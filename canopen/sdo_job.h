#pragma once
// SDO transfers as a job of steps (can/step_job.h): one transfer, or a series of them one after
// another over one link (Read all, a configuration download), each step one transaction of the
// transfer in progress. Cancel ends that transfer with its abort to the server.
#include "can/step_job.h"
#include "canopen/sdo_client.h"

#include <functional>
#include <memory>
#include <optional>

namespace canopen {

class sdo_job : public step_job {
public:
    // The next transfer of the series; none when the work is done.
    using next_transfer = std::function<std::optional<sdo_transfer>()>;
    // Takes the outcome of each transfer that ended by itself; false ends the series there.
    using take_outcome = std::function<bool(const sdo_transfer &, const sdo_outcome &)>;
    using on_end = std::function<void(bool cancelled)>;

    // count: the transfers of the series, for its progress; 0 follows the bytes of each transfer.
    sdo_job(sdo_link link, next_transfer next, take_outcome take, on_end end, int count = 0);

    // One transfer; end gets its outcome (nothing of it when cancelled).
    static std::unique_ptr<sdo_job> one(sdo_link link, sdo_transfer transfer,
                                        std::function<void(const sdo_outcome &, bool cancelled)> end);

    bool step() override;
    void cancel() override;
    void ended(bool cancelled) override;
    int done() const override;
    int total() const override;

private:
    bool advance();

    sdo_link link_;
    next_transfer next_;
    take_outcome take_;
    on_end end_;
    int count_;
    int finished_ = 0;
    std::optional<sdo_transfer> current_;
    bool current_started_ = false;
};

}  // namespace canopen
