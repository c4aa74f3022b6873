// The host program in two halves: the session (options, lines, directives,
// transcript), the same on every platform, and the platform half that loads
// the module, binds the host's services and watches the module's sound.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Platform half.

// The module file built beside the host program.
std::string default_module_path();
// Loads the module file; answers its handle and the folder that holds it
// (without a final separator), or null with the reason in error.
void* open_module(const std::string& path, std::string& folder, std::string& error);
// The address of an exported function, or null.
void* find_export(void* handle, const char* name);
// Routes the module's sound calls through record_ring and on to the real
// sound service; answers false with the reason in error when it cannot.
bool watch_sound(void* handle, std::string& error);
void close_module(void* handle);
// Whether the module file is still loaded after close_module.
bool module_still_loaded(const std::string& path);
// How many files the process holds open, or -1 when that cannot be known.
int open_files();
// Makes standard output write bytes as they are, '\n' line ends included.
void use_plain_output();
// Ends the program with exit status 1 and a message naming the cycle when
// the next call does not come within seconds; cycle 0 ends the watch. A
// stalled cycle cannot notice it has stalled.
void watch_for_stall(int cycle, unsigned seconds);

// Session half, called by the platform half.

// Notes that the module asked the platform to play a sound.
void record_ring(std::string_view sound_name);

// The host's services as this program gives them; the platform half binds the
// module's q2_* imports to these.
extern "C" {
void host_speak(const char* text);
const char* host_modroot(int32_t module_id);
void host_modenable(int32_t module_id, int32_t enable);
}
