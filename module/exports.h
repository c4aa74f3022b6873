// The seven callbacks the host calls, by undecorated name, C convention.
#pragma once

#include <cstdint>

// The build hides every other symbol; these are the library's only exports.
#pragma GCC visibility push(default)
extern "C" {
int32_t on_module(int32_t event, const void* param);
int32_t on_client();
int32_t on_wndproc();
int32_t on_world();
int32_t on_command(int32_t count, const char* const* vector);
void on_inet(int32_t kind, const char* line);
void on_onet();
}
#pragma GCC visibility pop
