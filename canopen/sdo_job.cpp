#include "canopen/sdo_job.h"

namespace canopen {

sdo_job::sdo_job(sdo_link link, next_transfer next, take_outcome take, on_end end, int count)
    : link_(std::move(link)), next_(std::move(next)), take_(std::move(take)), end_(std::move(end)), count_(count)
{
}

std::unique_ptr<sdo_job> sdo_job::one(sdo_link link, sdo_transfer transfer,
                                      std::function<void(const sdo_outcome &, bool cancelled)> end)
{
    auto pending = std::make_shared<std::optional<sdo_transfer>>(std::move(transfer));
    auto outcome = std::make_shared<sdo_outcome>();
    return std::make_unique<sdo_job>(
        std::move(link),
        [pending] {
            std::optional<sdo_transfer> t;
            t.swap(*pending);
            return t;
        },
        [outcome](const sdo_transfer &, const sdo_outcome &o) {
            *outcome = o;
            return true;
        },
        [outcome, end](bool cancelled) {
            if (end)
                end(*outcome, cancelled);
        });
}

bool sdo_job::advance()
{
    current_ = next_ ? next_() : std::nullopt;
    current_started_ = false;
    return current_.has_value();
}

bool sdo_job::step()
{
    if (!current_ && !advance())
        return false;
    current_started_ = true;
    step_sdo(link_, *current_);
    if (!current_->done())
        return true;
    ++finished_;
    const bool go_on = !take_ || take_(*current_, current_->outcome());
    current_.reset();
    return go_on && advance();
}

void sdo_job::cancel()
{
    // A transfer not yet begun owes the server nothing.
    if (current_ && current_started_)
        cancel_sdo(link_, *current_);
    current_.reset();
}

void sdo_job::ended(bool cancelled)
{
    if (end_)
        end_(cancelled);
}

int sdo_job::done() const
{
    if (count_ > 0)
        return finished_;
    return current_ ? current_->bytes_done() : 0;
}

int sdo_job::total() const
{
    if (count_ > 0)
        return count_;
    return current_ ? current_->bytes_total() : 0;
}

}  // namespace canopen
