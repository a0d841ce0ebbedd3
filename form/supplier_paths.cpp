#include "form/start_config_form.h"

std::string LastDatabaseFolder;
void frm_Start_Config_Exe::ComboSupplier_Click() {}
void frm_Start_Config_Exe::CommandPath_Click(int) {}
void frm_Start_Config_Exe::TextPath_Click(int) {}
