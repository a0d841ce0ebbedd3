#include "form/start_config_form.h"

void frm_Start_Config_Exe::Form_Load() {}
void frm_Start_Config_Exe::SetupUserInterFace() {}
void frm_Start_Config_Exe::InitProgramIni() {}
int16_t frm_Start_Config_Exe::GetVisuVersion() { return 0; }
