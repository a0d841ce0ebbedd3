// The open dialog's state, whichever front end shows it: the folder it looks
// in, the folder tree down to it with its subfolders and the other drives, the
// files of the filter's type there, and the file name typed. Windows paths
// throughout, of the mapped drives only.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "controls/toolkit.h"

namespace app {

struct FolderChoice {
  std::string label;   // the folder's name, "c:\" for a drive's root
  std::string path;    // full Windows path
  int depth = 0;       // 0 for a drive's root
  bool open = false;   // on the way down to the current folder (or the current one)
  bool drive = false;  // another drive, listed after the tree
};

struct FileChoice {
  std::string title;
  std::string typeText;  // the filter's description: "Datenbank (*.mdb)"
  std::vector<std::string> patterns;
  std::string folder;
  std::vector<FolderChoice> folders;
  int currentFolder = 0;  // the index of folder among folders
  std::vector<std::string> files;
  std::string name;  // the file name box
  std::string note;  // a problem to show ("The folder cannot be read.")
};

// The patterns of a dialog filter's first type ("Datenbank (*.mdb)|*.mdb" gives
// {"*.mdb"}; "a|*.x;*.y" gives {"*.x", "*.y"}); {"*"} for an empty filter.
std::vector<std::string> FilterPatterns(const std::string& filter);
// Matches a file name against a pattern with * and ?, ignoring letter case.
bool MatchesPattern(const std::string& name, const std::string& pattern);

// The dialog as it opens: a file name with a folder opens that folder, else
// the initial folder, else the current one.
FileChoice BeginFileChoice(const ui::FileDialogRequest& request);

// Reads a folder into the dialog.
void OpenFolder(FileChoice& choice, const std::string& folder);

// Open pressed (or Enter on the name): a folder opens, a pattern filters, a
// file name is the answer (as a full path). Nothing while the dialog stays.
std::optional<std::string> AcceptName(FileChoice& choice);

// The full path of a name in the dialog's folder.
std::string PathInFolder(const FileChoice& choice, const std::string& name);

}  // namespace app
