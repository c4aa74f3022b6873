// A modhost.dll that only lets the module load: its services do nothing.
#include <cstdint>

extern "C" {
void q2_speak(const char*) {}
const char* q2_modroot(int32_t) { return nullptr; }
void q2_modenable(int32_t, int32_t) {}
}
