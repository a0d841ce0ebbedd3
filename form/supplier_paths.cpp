// The supplier's start logo, and the file dialog through which the user picks
// each of the three databases.
#include <array>
#include <string>

#include "base/failure.h"
#include "form/start_config_form.h"
#include "platform/filesys.h"
#include "platform/process.h"
#include "runtime/config_paths.h"
#include "runtime/errors.h"
#include "runtime/help_mode.h"

std::string LastDatabaseFolder;

namespace {

constexpr const char* kProjectFilter = "Datenbank (*.vws)|*.vws";
constexpr const char* kDatabaseFilter = "Datenbank (*.mdb)|*.mdb";

// The path without its file name, trailing backslash kept; empty when the path
// has no folder part.
std::string FolderOf(const std::string& path) {
  return path.substr(0, path.size() - rt::GetFileNameOnly(path).size());
}

}  // namespace

void frm_Start_Config_Exe::ComboSupplier_Click() {
  const rt::Trap step("ComboSupplier_Click");
  if (rt::DivertsToHelp()) {
    step([&] { rt::ShowHelp(*ComboSupplier); });
    return;
  }
  bool makersEntry = false;
  step([&] { makersEntry = ComboSupplier->ListIndex() == 0; });
  // A missing or broken logo fails before the picture is replaced, so the old
  // logo stays.
  if (makersEntry) {
    step([&] {
      ImageLogo->SetPicture(ui::LoadPicture(platform::ExecutableFolder() + "\\Start_Logo.bmp"));
    });
  } else {
    step([&] {
      ImageLogo->SetPicture(ui::LoadPicture(platform::ExecutableFolder() + "\\Start_" +
                                            ComboSupplier->Text() + "Logo.bmp"));
    });
  }
}

void frm_Start_Config_Exe::CommandPath_Click(int i) {
  const rt::Trap step("CommandPath_Click");
  if (rt::DivertsToHelp()) {
    step([&] { rt::ShowHelp(Element(CommandPath, i)); });
    return;
  }

  // A database already chosen or taken over opens the dialog in its folder.
  step([&] {
    const std::string current = Element(TextPath, i).Text();
    if (!current.empty() && platform::FileExists(current)) LastDatabaseFolder = FolderOf(current);
  });

  if (!LastDatabaseFolder.empty()) {
    step([&] { DirCtl->SetFileName(Element(CommandPath, i).Caption()); });
    step([&] { DirCtl->SetInitDir(LastDatabaseFolder); });
  } else if (!SarFolder.empty()) {
    step([&] { DirCtl->SetInitDir(SarFolder + "\\Program"); });
  } else {
    step([&] { DirCtl->SetFileName(Element(CommandPath, i).Caption()); });
  }
  step([&] {
    DirCtl->SetDialogTitle("Pfad f\u00fcr " + Element(CommandPath, i).Caption() +
                           " ausw\u00e4hlen");
  });
  step([&] {
    DirCtl->SetFilter(i == 0 && VisuVersion >= kVisuVWStudio ? kProjectFilter : kDatabaseFilter);
  });
  step([&] { DirCtl->ShowOpen(); });

  // Only an existing file is taken; a cancel, a folder or a missing file leaves
  // the box as it is.
  step([&] {
    const std::string chosen = DirCtl->FileName();
    if (platform::FileExists(chosen)) Element(TextPath, i).SetText(chosen);
  });
  step([&] { LastDatabaseFolder = FolderOf(DirCtl->FileName()); });
}

void frm_Start_Config_Exe::TextPath_Click(int i) {
  const rt::Trap step("TextPath_Click");
  step([&] { rt::ShowHelp(Element(TextPath, i)); });
}
