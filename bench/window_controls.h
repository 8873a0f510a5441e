#pragma once
// The window's controls by their object names, as the console's tests find
// them (tests/console/window_driver.h); a control that is not there ends the
// benchmark.
#include <cstdio>
#include <cstdlib>
#include <string>

#define VELTRA_MISSING_CONTROL(name) (std::fprintf(stderr, "no control %s\n", std::string(name).c_str()), std::abort())
#include "../tests/console/window_driver.h"
#include "console/main_window.h"
