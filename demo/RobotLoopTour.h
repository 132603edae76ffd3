// The demo's tour of a robot's 20 ms loop through the C++ classes.
#pragma once

namespace halvern::demo {

/** Reads four devices every 20 ms, then silences two and brings them back, printing what the
 *  loop sees: readings at once, when each was measured, and which devices are connected. */
void robotLoopTour();

}  // namespace halvern::demo
