// A library that offers only two of the module's seven callbacks: the host program
// must refuse it and name the five that are missing.
#include <cstdint>

extern "C" {
int32_t on_module(int32_t, const void*) { return 0; }
void on_inet(int32_t, const char*) {}
}
