#include "app/front_end.h"

namespace app {

int Run() { return 1; }

}  // namespace app
