// The library entry: attach loads the plug-in, detach unloads it.
#include "common/Log.h"
#include "plugin/Plugin.h"

namespace {

constexpr unsigned long kProcessDetach = 0;
constexpr unsigned long kProcessAttach = 1;

// The host has no way to handle a failure here, so nothing may escape.
void OnLibraryNotification(unsigned long reason) noexcept {
  if (reason == kProcessAttach) RunAtBoundary(__FILE__, "LoadPlugin", [] { LoadPlugin(); });
  if (reason == kProcessDetach) RunAtBoundary(__FILE__, "UnloadPlugin", [] { UnloadPlugin(); });
}

}  // namespace

#if defined(_WIN32)
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE /*module*/, DWORD reason, LPVOID /*reserved*/) {
  OnLibraryNotification(reason);
  return TRUE;
}
#else
__attribute__((constructor)) static void OnLibraryLoad() { OnLibraryNotification(kProcessAttach); }
__attribute__((destructor)) static void OnLibraryUnload() { OnLibraryNotification(kProcessDetach); }
#endif
