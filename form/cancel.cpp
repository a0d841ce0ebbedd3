#include "form/start_config_form.h"

void frm_Start_Config_Exe::CommandCancel_Click() {}
void frm_Start_Config_Exe::Form_QueryUnload(bool&, int) {}
