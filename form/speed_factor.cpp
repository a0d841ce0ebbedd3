#include "form/start_config_form.h"

void frm_Start_Config_Exe::TextSpeedFactor_Change(int) {}
void frm_Start_Config_Exe::TextSpeedFactor_GotFocus(int) {}
void frm_Start_Config_Exe::TextSpeedFactor_LostFocus(int) {}
void frm_Start_Config_Exe::TextSpeedFactor_Click(int) {}
