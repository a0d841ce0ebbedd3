#include "form/start_config_form.h"

void frm_Start_Config_Exe::CopyFiles() {}
