// A board access library whose loading fails in its own initialisation: DllMain refuses.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  return reason != DLL_PROCESS_ATTACH;
}
