#include "module/state.h"

constinit int32_t module_id = 0;
constinit int32_t enabled = 0;
constinit uint8_t auto_enable = 0;
// Empty until the first start-up; released by their destructors when the
// library is unloaded.
std::string ini_path;
std::string wave_path;
