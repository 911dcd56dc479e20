#include "base/motion_notifier.h"

#include <climits>

namespace scope {

motion_notifier &motion_notifier::instance()
{
    static motion_notifier notifier;
    return notifier;
}

void motion_notifier::sent(motion_kind kind, int32_t value, bool reversed)
{
    if (reversed)
        value = value == INT32_MIN ? INT32_MAX : -value;
    emit instance().motion_sent(static_cast<int>(kind), value);
}

}  // namespace scope
