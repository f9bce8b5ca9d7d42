// The program's sources name the clock here; it lives with the printer
// link, whose waits and watchdog run on it.
#pragma once

#include "link/clock.hpp"
