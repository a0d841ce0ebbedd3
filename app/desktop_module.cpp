#include "app/desktop_module.h"

#include <dlfcn.h>

#include <cstring>
#include <filesystem>
#include <system_error>

namespace app {

DesktopModule LoadDesktopModule() {
  // The folder the executable lies in, as the kernel knows it: a current
  // folder, LD_LIBRARY_PATH or a run path cannot put another module in its place.
  std::error_code error;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error || !exe.is_absolute())
    return {nullptr, "the executable's folder cannot be told from /proc/self/exe"};
  const std::string path = (exe.parent_path() / kDesktopModuleFile).string();
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    return {nullptr, why != nullptr ? why : path + " cannot be loaded"};
  }
  using Entry = const win::Module* (*)();
  const auto entry = reinterpret_cast<Entry>(dlsym(handle, "korvex_desktop_module"));
  const win::Module* module = entry != nullptr ? entry() : nullptr;
  if (module == nullptr || module->stamp == nullptr) {
    dlclose(handle);
    return {nullptr, path + " is no module of the desktop window"};
  }
  if (std::strcmp(module->stamp, KORVEX_MODULE_STAMP) != 0) {
    const std::string theirs = module->stamp;
    dlclose(handle);
    return {nullptr, path + " is of another build (" + theirs + ")"};
  }
  return {module, ""};
}

}  // namespace app
