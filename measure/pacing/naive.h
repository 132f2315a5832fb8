// The flicker window without the settings dialog, for the programs that
// paint it or time calls on it in loops of their own: the two naive designs
// (naive_sleep1.cpp, naive_timer1.cpp) and platform_costs.cpp.
#pragma once

// Registers the flicker window's class, takes the counter's frequency, sets
// the pacer's settings for `flashRate` (strips as at start-up) and shows the
// flicker window; false if the class cannot be registered.
bool openFlickerWindow(double flashRate);
// Dispatches every queued message.
void drainMessages();
void closeFlickerWindow();

// A naive design's run. beginNaive reads the arguments FLASH_RATE SECONDS,
// opens the flicker window and starts the run as beginRun does (drawing,
// then the start reading); false, with the usage printed, if it cannot.
bool beginNaive(int argc, char** argv);
// Whether the run's time is over (a reading that is no pass).
bool naiveTimeUp();
// One wake-up: reads the counter and paints every toggle that fell due
// since the last, toggle by toggle as the pacer paints one (its strips and
// colours, with no limit on a pass).
void paintDue();
