#pragma once
// Whether Velmora guards the joints it enables (their heartbeat consumer watching Velmora, the
// guardian process for the maker's protocol): the settings key guard/enabled, on unless set to
// false, and for one run the command line's --no-guard.
namespace guard {

bool enabled();
// --no-guard: off for this process whatever the settings say.
void disable_for_run();

}  // namespace guard
