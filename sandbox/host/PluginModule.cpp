// Loading the plug-in module the way the host does: the operating system's loader runs its entry.
#include <stdexcept>

#include "sandbox/host/HostInternal.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace sandbox {
namespace {

#if defined(_WIN32)
void* OpenModule(const std::string& path) { return reinterpret_cast<void*>(LoadLibraryA(path.c_str())); }
void CloseModule(void* handle) { FreeLibrary(static_cast<HMODULE>(handle)); }
std::string LoaderError() { return "LoadLibrary failed with error " + std::to_string(GetLastError()); }
bool ModuleMapped(const std::string& path) { return GetModuleHandleA(path.c_str()) != nullptr; }
#else
void* OpenModule(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }
void CloseModule(void* handle) { dlclose(handle); }
std::string LoaderError() {
  const char* message = dlerror();
  return message != nullptr ? message : "dlopen failed";
}
bool ModuleMapped(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  dlclose(handle);
  return true;
}
#endif

}  // namespace

PluginModule::~PluginModule() { Unload(); }

void PluginModule::Load(const std::string& path) {
  if (handle_ != nullptr) throw std::runtime_error("the plug-in module is already loaded");
  handle_ = OpenModule(path);
  if (handle_ == nullptr) throw std::runtime_error("cannot load " + path + ": " + LoaderError());
}

void PluginModule::Unload() {
  if (handle_ == nullptr) return;
  CloseModule(handle_);
  handle_ = nullptr;
  detail::RetireForeignFormatters();
}

bool PluginModule::IsMapped(const std::string& path) { return ModuleMapped(path); }

}  // namespace sandbox
