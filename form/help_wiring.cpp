// The help switch and the handlers that exist only for the help mode: each shows
// its control's help text while the mode is on and does nothing otherwise. The
// handlers with work of their own (OK, Cancel, the path buttons, the supplier
// list) test the mode themselves, in their own sources.
#include <string>

#include "form/start_config_form.h"
#include "runtime/errors.h"
#include "runtime/help_mode.h"

namespace {

void Help(const char* procedure, ui::Control* control) {
  const rt::Trap step(procedure);
  step([&] { rt::ShowHelp(*control); });
}

}  // namespace

void frm_Start_Config_Exe::CommandQuest_Click() {
  // The switch has no trap of its own.
  rt::ToggleHelpMode(*CommandQuest);
}

void frm_Start_Config_Exe::CheckTimeChanging_Click() {
  const rt::Trap step("CheckTimeChanging_Click");
  step([&] { rt::ShowValueHelp(*CheckTimeChanging); });
}

void frm_Start_Config_Exe::ComboSupplier_GotFocus() {
  Help("ComboSupplier_GotFocus", ComboSupplier);
}
void frm_Start_Config_Exe::ComboDateFormat_Click() {
  Help("ComboDateFormat_Click", ComboDateFormat);
}
void frm_Start_Config_Exe::ComboDateFormat_GotFocus() {
  Help("ComboDateFormat_GotFocus", ComboDateFormat);
}
void frm_Start_Config_Exe::ComboSteuerung_Click() {
  Help("ComboSteuerung_Click", ComboSteuerung);
}
void frm_Start_Config_Exe::ComboSteuerung_GotFocus() {
  Help("ComboSteuerung_GotFocus", ComboSteuerung);
}
void frm_Start_Config_Exe::LabelSupplier_Click() {
  Help("LabelSupplier_Click", LabelSupplier);
}
void frm_Start_Config_Exe::LabelDateFormat_Click() {
  Help("LabelDateFormat_Click", LabelDateFormat);
}
void frm_Start_Config_Exe::LabelSteuerung_Click() {
  Help("LabelSteuerung_Click", LabelSteuerung);
}
void frm_Start_Config_Exe::LabelSpeedFactorHeader_Click() {
  Help("LabelSpeedFactorHeader_Click", LabelSpeedFactorHeader);
}
void frm_Start_Config_Exe::LabelSAR1_Click() {
  Help("LabelSAR1_Click", LabelSAR1);
}
void frm_Start_Config_Exe::FrameSpeedFactor_Click() {
  Help("FrameSpeedFactor_Click", FrameSpeedFactor);
}
void frm_Start_Config_Exe::FramePathSelect_Click() {
  Help("FramePathSelect_Click", FramePathSelect);
}
void frm_Start_Config_Exe::DirSAR_Click() {
  Help("DirSAR_Click", DirSAR);
}
void frm_Start_Config_Exe::DriveSAR_GotFocus() {
  Help("DriveSAR_GotFocus", DriveSAR);
}
void frm_Start_Config_Exe::ListSAR_MouseDown() {
  Help("ListSAR_MouseDown", ListSAR);
}

void frm_Start_Config_Exe::LabelSpeedFactor_Click(int i) {
  const rt::Trap step("LabelSpeedFactor_Click");
  step([&] { rt::ShowHelp(Element(LabelSpeedFactor, i)); });
}
