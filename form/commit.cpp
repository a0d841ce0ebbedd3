#include "form/start_config_form.h"

void frm_Start_Config_Exe::CommandOK_Click() {}
void frm_Start_Config_Exe::CloseMe() { for (;;) {} }
void frm_Start_Config_Exe::WriteInputs() {}
