#include "runtime/help_mode.h"
