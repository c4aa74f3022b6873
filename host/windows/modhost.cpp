// modhost.dll: the host's services library that the module imports from. It
// forwards each service to the host program, which exports the host_*
// functions (see tollwick-host.def).
#include "host/host.h"

extern "C" {

void q2_speak(const char* text) { host_speak(text); }

const char* q2_modroot(int32_t module_id) { return host_modroot(module_id); }

void q2_modenable(int32_t module_id, int32_t enable) { host_modenable(module_id, enable); }
}
