// The desktop window as a module of its own: the entry the executable looks up
// after loading it, with the stamp of the build it belongs to.
#include "app/desktop/desktop.h"

extern "C" __attribute__((visibility("default"))) const win::Module* korvex_desktop_module() {
  static const win::Module module{KORVEX_MODULE_STAMP, &win::DisplayProblem, &win::RunWindow};
  return &module;
}
