// Stands in for the system's IsProcessorFeaturePresent in the test build of
// the module, taken by the link instead of KERNEL32's: no feature is present,
// fast fail among them, so a failed stack check ends the process through
// TerminateProcess. Under qemu, Wine cannot tell the fast fail's int 0x29
// from an illegal instruction and starts its crash handler instead.
#include <windows.h>

BOOL WINAPI IsProcessorFeaturePresent(DWORD /*feature*/) { return FALSE; }
