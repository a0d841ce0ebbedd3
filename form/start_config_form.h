// The step's one window, frm_Start_Config_Exe: its controls, its form variables
// and its procedures. The procedures live in the source files of this folder by
// topic (layout, start-up, Save & Restore, speed factors, supplier and paths,
// commit, copying, cancel, help wiring).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "controls/toolkit.h"
#include "runtime/exit_status.h"

// Process-wide: the folder of the Save & Restore copy connected last, and the
// folder of the database file chosen or found last.
extern std::string SarFolder;
extern std::string LastDatabaseFolder;

// Visualisation version codes of an installation or a Save & Restore copy.
inline constexpr int16_t kVisuUndetermined = 0;
inline constexpr int16_t kVisuVisiWin = 1;   // project database "Korvex.mdb"
inline constexpr int16_t kVisuVWStudio = 2;  // project file "Korvex.vws"

// The window's controls in the order of the Tab key: top to bottom through the
// window, the Save & Restore selection after the speed factors, the picture
// buttons last; controls the layout does not name follow in creation order.
std::vector<ui::Control*> TabOrder(const ui::Window& window);

class frm_Start_Config_Exe {
 public:
  // Creates the window with every control in creation order and wires the
  // events to the handlers below.
  frm_Start_Config_Exe();
  frm_Start_Config_Exe(const frm_Start_Config_Exe&) = delete;
  frm_Start_Config_Exe& operator=(const frm_Start_Config_Exe&) = delete;

  ui::Window window{"frm_Start_Config_Exe"};

  // Controls, in creation order.
  ui::Control* CommandOK = nullptr;
  ui::Control* CommandCancel = nullptr;
  ui::Control* CommandQuest = nullptr;
  ui::Control* DirCtl = nullptr;
  ui::Control* MainFrame = nullptr;
  ui::Control* Frame1 = nullptr;
  ui::Control* ComboDateFormat = nullptr;
  ui::Control* ComboSupplier = nullptr;
  ui::Control* ComboSteuerung = nullptr;
  ui::Control* CheckTimeChanging = nullptr;
  ui::Control* ImageLogo = nullptr;
  ui::Control* LabelSupplier = nullptr;
  ui::Control* LabelDateFormat = nullptr;
  ui::Control* LabelSteuerung = nullptr;
  ui::Control* FrameCopyPath = nullptr;
  std::array<ui::Control*, 3> TextPath{};     // 0..2
  std::array<ui::Control*, 3> CommandPath{};  // 0..2
  ui::Control* FramePathSelect = nullptr;
  ui::Control* DirSAR = nullptr;
  ui::Control* DriveSAR = nullptr;
  ui::Control* ListSAR = nullptr;
  ui::Control* LabelSARVisuVersion = nullptr;
  ui::Control* LabelSAR1 = nullptr;
  ui::Control* FrameSpeedFactor = nullptr;
  std::array<ui::Control*, 6> TextSpeedFactor{};  // 1..5; element 0 does not exist
  ui::Control* LabelSpeedFactorHeader = nullptr;
  std::array<ui::Control*, 6> LabelSpeedFactor{};  // 1..5; element 0 does not exist
  ui::Control* LabelVisuVersion = nullptr;
  ui::Control* Header = nullptr;

  // The control array element i; raises 340 when it does not exist.
  template <size_t N>
  static ui::Control& Element(const std::array<ui::Control*, N>& array, int i) {
    if (i < 0 || i >= static_cast<int>(N) || array[i] == nullptr) RaiseMissingElement();
    return *array[i];
  }

  // Form variables.
  std::string ConfigurationIniPath;
  std::string MonitorResolution;
  int16_t VisuVersion = 0;
  int16_t SARVisuVersion = 0;
  bool TimeChanging = false;  // the time-setting flag
  int16_t NumberOfRejects = 0;
  int16_t NumberOfAlarms = 0;
  int16_t NumberOfWarnings = 0;
  bool FaultWithMachineNumber = false;
  std::array<int16_t, 5> LastSpeedFactor{};  // slot i - 1 for box i

  // Start-up.
  void Form_Load();
  void Form_Activate() {}
  void Form_Resize() {}
  void SetupUserInterFace();
  void InitProgramIni();
  int16_t GetVisuVersion();

  // Save & Restore selection and takeover.
  int16_t GetSARVisuVersion(const std::string& folder);
  void ConnectSAR(const std::string& folder);
  void DriveSAR_Change();
  void DirSAR_Change();

  // Speed factors.
  void TextSpeedFactor_Change(int i);
  void TextSpeedFactor_GotFocus(int i);
  void TextSpeedFactor_LostFocus(int i);
  void TextSpeedFactor_Click(int i);

  // Supplier logo and database paths.
  void ComboSupplier_Click();
  void CommandPath_Click(int i);
  void TextPath_Click(int i);

  // Commit.
  void CommandOK_Click();
  [[noreturn]] void CloseMe();
  void WriteInputs();
  void CopyFiles();

  // Cancel and close.
  void CommandCancel_Click();
  void Form_QueryUnload(bool& cancel, int unloadMode);
  // The step is left without OK and without asking (the script or the terminal
  // has ended, or the process was told to end): the cancel mark and its log
  // line are written all the same. False when the mark could not be written.
  bool LeaveWithoutOK();

  // Help mode and the handlers that serve only it.
  void CommandQuest_Click();
  void ComboSupplier_GotFocus();
  void ComboDateFormat_Click();
  void ComboDateFormat_GotFocus();
  void ComboSteuerung_Click();
  void ComboSteuerung_GotFocus();
  void CheckTimeChanging_Click();
  void LabelSupplier_Click();
  void LabelDateFormat_Click();
  void LabelSteuerung_Click();
  void LabelSpeedFactorHeader_Click();
  void LabelSAR1_Click();
  void FrameSpeedFactor_Click();
  void FramePathSelect_Click();
  void LabelSpeedFactor_Click(int i);
  void DirSAR_Click();
  void DriveSAR_GotFocus();
  void ListSAR_MouseDown();

 private:
  [[noreturn]] static void RaiseMissingElement();
  void CreateControls();  // the layout
  void WireEvents();      // control events -> handlers
};
