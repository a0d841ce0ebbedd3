#include "form/start_config_form.h"

std::string SarFolder;
int16_t frm_Start_Config_Exe::GetSARVisuVersion(const std::string&) { return 0; }
void frm_Start_Config_Exe::ConnectSAR(const std::string&) {}
void frm_Start_Config_Exe::DriveSAR_Change() {}
void frm_Start_Config_Exe::DirSAR_Change() {}
