#include "runtime/edit_info.h"
