// The module's two user commands.
#pragma once

#include <cstdint>

// Handles TW-AutoEnable and TW-SetWave (argument 0, any letter case) and
// answers the user; -1 when the command was one of them, 0 otherwise.
int32_t handle_command(int32_t count, const char* const* vector);
