// The files OK brings into the installation: the three databases of the path
// boxes, the brand database of the source folder, and every machine's pictures
// (16 warning pictures with their generic stand-by, the whole picture folder,
// the machine symbol). Every copy overwrites; no folder is ever created.
#include <string>
#include <vector>

#include "base/failure.h"
#include "form/start_config_form.h"
#include "platform/filesys.h"
#include "platform/process.h"
#include "runtime/command_line.h"
#include "runtime/config_paths.h"
#include "runtime/errors.h"

namespace {

constexpr int kWarningPictures = 16;
constexpr int kBadFileName = 52;  // "Bad file name or number"

const char* const kMachineFolders = "Verschiedenes\\Maschinenabhängig\\";

// A text that becomes part of a path must stay one name: as "." or "..", or
// with a separator or a drive colon in it, a machine name would lead the copies
// out of the machine's own picture folder, and a file name out of "\standard\".
// Dots inside a name ("Line..2") are ordinary characters.
bool IsOneName(const std::string& text, bool mayBeEmpty) {
  if (text.empty()) return mayBeEmpty;
  return text != "." && text != ".." && text.find_first_of("\\/:") == std::string::npos;
}

[[noreturn]] void RaiseBadName(const std::string& path) {
  platform::Raise(kBadFileName, platform::StandardDescription(kBadFileName) + ": " + path);
}

// Every copy overwrites. A failure names both files, so that the log tells which
// copy did not happen. A source from the folder within (the Save & Restore copy,
// the source folder) must not lead out of it through a symbolic link.
void Copy(const std::string& source, const std::string& destination,
          const std::string& within = {}) {
  try {
    platform::CopyFile(source, destination, true, within);
  } catch (const platform::Failure& f) {
    platform::Raise(f.number, f.description + ": " + source + " to " + destination, f.source);
  }
}

// The picture paths of one machine.
struct MachinePictures {
  std::string folder;   // P(m)
  std::string generic;  // G(m)
  std::string symbol;   // Y(m)
  bool safe = false;    // the name and resolution keep every path inside P(m)
  std::string Warning(const std::string& name, const std::string& resolution, int k) const {
    return folder + (k < 10 ? "Warn_0" : "Warn_") + std::to_string(k) + "_" + name + "_" +
           resolution + ".bmp";
  }
};

MachinePictures PicturesOf(const std::string& source, const std::string& name,
                           const std::string& resolution) {
  MachinePictures p;
  p.folder = source + kMachineFolders + name + "\\Standard\\";
  p.generic = p.folder + "Warn_xx_xxx_" + resolution + ".bmp";
  p.symbol = p.folder + "MachineSymbol_" + name + "_" + resolution + ".gif";
  p.safe = IsOneName(name, false) && IsOneName(resolution, true);
  return p;
}

}  // namespace

void frm_Start_Config_Exe::CopyFiles() {
  const rt::Trap step("CopyFiles");
  bool integrated = false;
  step([&] { integrated = rt::GetStartModeIntegrated(); });
  if (!integrated) return;

  std::string installation, source;
  step([&] { installation = platform::GetParentFolderName(platform::ExecutableFolder()); });
  step([&] { source = rt::GetSourcePath(); });
  const std::string program = installation + "\\program";
  const std::string standard = installation + "\\standard\\";

  // The databases; a box naming no existing file leaves the installation's copy alone.
  auto copyDatabase = [&](int box, const std::string& destination) {
    step([&] {
      const std::string path = TextPath[box]->Text();
      if (platform::SourceFileExists(path)) Copy(path, destination, SarFolder);
    });
  };
  copyDatabase(0, program + (VisuVersion == kVisuVWStudio ? "\\Korvex.vws" : "\\Korvex.mdb"));
  if (VisuVersion != kVisuVWStudio) copyDatabase(1, program + "\\AlarmDefinition.mdb");
  copyDatabase(2, program + "\\HelpText.mdb");

  step([&] {
    const std::string brand = source + "verschiedenes\\parameter\\Brand.mdb";
    if (platform::SourceFileExists(brand))
      Copy(brand, installation + "\\parameter" + "\\Brand.mdb", source);
  });

  // Every existing machine, valid or not. Equally named pictures of two machines
  // meet in the one "\standard\" folder; the later machine wins.
  // Without the configuration tool's machine list the count fails and is reported.
  int machines = 0;
  step([&] { machines = rt::MachineCount(); });
  for (int m = 1; m <= machines; ++m) {
    std::string name;
    step([&] { name = rt::ExistingMachines.at(m); });
    const MachinePictures pictures = PicturesOf(source, name, MonitorResolution);

    for (int k = 1; k <= kWarningPictures; ++k) {
      step([&] {
        const std::string warning = pictures.Warning(name, MonitorResolution, k);
        if (!pictures.safe) RaiseBadName(warning);
        const std::string destination = standard + rt::GetFileNameOnly(warning);
        if (platform::SourceFileExists(warning))
          Copy(warning, destination, source);
        else if (platform::SourceFileExists(pictures.generic))
          Copy(pictures.generic, destination, source);
        else
          platform::Raise(platform::kFileNotFound, pictures.generic + " not found");
      });
    }

    std::vector<std::string> files;
    step([&] {
      if (!pictures.safe) RaiseBadName(pictures.folder);
      files = platform::FolderFiles(pictures.folder);
    });
    for (const std::string& file : files) {
      step([&] {
        // A host file name holding a backslash would read as a path below the folder.
        const std::string fileName = file.substr(pictures.folder.size());
        if (fileName.find('\\') != std::string::npos) RaiseBadName(file);
        Copy(file, standard + fileName, source);
      });
    }

    step([&] {
      if (!pictures.safe) RaiseBadName(pictures.symbol);
      if (!platform::SourceFileExists(pictures.symbol))
        platform::Raise(platform::kFileNotFound, pictures.symbol + " not found");
      Copy(pictures.symbol, standard + rt::GetFileNameOnly(pictures.symbol), source);
    });
  }
}
