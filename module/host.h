// The services the host offers to modules, bound when the library is loaded:
// imported from the host's services library on Windows, resolved from the
// host program itself on Linux.
#pragma once

#include <cstdint>

extern "C" {
// Shows text to the user as one line; the host copies what it keeps.
void q2_speak(const char* text);
// The module's own folder, or null; the module copies it at once.
const char* q2_modroot(int32_t module_id);
// Asks the host to switch the module on (-1) or off (0); the host may answer
// with on_module event 2 or 3 before it returns.
void q2_modenable(int32_t module_id, int32_t enable);
}

#include <string_view>

// A text from the host: a null pointer reads as an empty text.
inline std::string_view host_text(const char* text) {
  return text == nullptr ? std::string_view() : std::string_view(text);
}
