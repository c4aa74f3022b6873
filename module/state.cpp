#include "module/state.h"

constinit int32_t module_id = 0;
constinit int32_t enabled = 0;
constinit uint8_t auto_enable = 0;
// Released by their destructors when the library is unloaded.
constinit std::string ini_path;
constinit std::string wave_path;
