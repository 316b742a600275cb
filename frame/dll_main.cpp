// Start-up of ryn_usr.dll. The library keeps no per-thread set-up and starts
// with its module-wide storage zeroed, so the entry point only tells the
// loader not to call it for every thread the host starts or ends.
#if defined(_WIN32)
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(module);
    return TRUE;
}
#endif
