#include "form/start_config_form.h"

void frm_Start_Config_Exe::CommandQuest_Click() {}
void frm_Start_Config_Exe::ComboSupplier_GotFocus() {}
void frm_Start_Config_Exe::ComboDateFormat_Click() {}
void frm_Start_Config_Exe::ComboDateFormat_GotFocus() {}
void frm_Start_Config_Exe::ComboSteuerung_Click() {}
void frm_Start_Config_Exe::ComboSteuerung_GotFocus() {}
void frm_Start_Config_Exe::CheckTimeChanging_Click() {}
void frm_Start_Config_Exe::LabelSupplier_Click() {}
void frm_Start_Config_Exe::LabelDateFormat_Click() {}
void frm_Start_Config_Exe::LabelSteuerung_Click() {}
void frm_Start_Config_Exe::LabelSpeedFactorHeader_Click() {}
void frm_Start_Config_Exe::LabelSAR1_Click() {}
void frm_Start_Config_Exe::FrameSpeedFactor_Click() {}
void frm_Start_Config_Exe::FramePathSelect_Click() {}
void frm_Start_Config_Exe::LabelSpeedFactor_Click(int) {}
void frm_Start_Config_Exe::DirSAR_Click() {}
void frm_Start_Config_Exe::DriveSAR_GotFocus() {}
void frm_Start_Config_Exe::ListSAR_MouseDown() {}
