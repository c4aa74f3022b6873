// The module's process-global state. Loading the library initialises it to
// these values by constant initialisation only: no module code runs at load.
#pragma once

#include <cstdint>
#include <string>

extern int32_t module_id;   // identifier from the host, passed back unchanged
extern int32_t enabled;     // 0 or -1, as the host last reported it
extern uint8_t auto_enable; // 0 or 1, the user's wish to start enabled
extern std::string ini_path;
extern std::string wave_path;
