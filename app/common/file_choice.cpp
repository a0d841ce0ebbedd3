#include "app/common/file_choice.h"

#include <algorithm>
#include <cctype>

#include "app/common/presentation.h"
#include "base/failure.h"
#include "base/text.h"
#include "platform/filesys.h"
#include "platform/winpath.h"

namespace app {
namespace {

std::string WithoutTrailingSlash(std::string folder) {
  while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
  if (folder.size() == 2 && folder[1] == ':') folder += '\\';
  return folder;
}

std::string Lower(char letter) {
  return std::string(1, static_cast<char>(std::tolower(static_cast<unsigned char>(letter))));
}

}  // namespace

std::vector<std::string> FilterPatterns(const std::string& filter) {
  const size_t bar = filter.find('|');
  if (bar == std::string::npos) return {"*"};
  std::string patterns = filter.substr(bar + 1);
  patterns = patterns.substr(0, patterns.find('|'));
  std::vector<std::string> out;
  size_t at = 0;
  while (at <= patterns.size()) {
    const size_t end = patterns.find(';', at);
    std::string p = patterns.substr(at, end == std::string::npos ? end : end - at);
    while (!p.empty() && p.front() == ' ') p.erase(0, 1);
    while (!p.empty() && p.back() == ' ') p.pop_back();
    if (!p.empty()) out.push_back(p);
    if (end == std::string::npos) break;
    at = end + 1;
  }
  if (out.empty()) out.push_back("*");
  return out;
}

bool MatchesPattern(const std::string& name, const std::string& pattern) {
  const std::u32string n = platform::DecodeUtf8(platform::UpperCase(name));
  const std::u32string p = platform::DecodeUtf8(platform::UpperCase(pattern));
  if (p == U"*.*") return true;
  // Iterative wildcard matching with one back-tracking point per "*".
  size_t i = 0, j = 0, star = std::u32string::npos, mark = 0;
  while (i < n.size()) {
    if (j < p.size() && (p[j] == U'?' || p[j] == n[i])) {
      ++i;
      ++j;
    } else if (j < p.size() && p[j] == U'*') {
      star = j++;
      mark = i;
    } else if (star != std::u32string::npos) {
      j = star + 1;
      i = ++mark;
    } else {
      return false;
    }
  }
  while (j < p.size() && p[j] == U'*') ++j;
  return j == p.size();
}

std::string PathInFolder(const FileChoice& choice, const std::string& name) {
  const std::string& folder = choice.folder;
  return !folder.empty() && folder.back() == '\\' ? folder + name : folder + "\\" + name;
}

void OpenFolder(FileChoice& d, const std::string& folder) {
  d.folder = WithoutTrailingSlash(folder);
  d.folders.clear();
  d.files.clear();
  d.note.clear();
  const std::string drive = d.folder.substr(0, 2);
  d.folders.push_back({Lower(drive[0]) + ":\\", drive + "\\", 0, true, false});
  std::string sofar = drive;
  for (size_t at = 3; at < d.folder.size();) {
    const size_t end = std::min(d.folder.find('\\', at), d.folder.size());
    const std::string part = d.folder.substr(at, end - at);
    sofar += "\\" + part;
    d.folders.push_back({part, sofar, static_cast<int>(d.folders.size()), true, false});
    at = end + 1;
  }
  d.currentFolder = static_cast<int>(d.folders.size()) - 1;
  const int depth = static_cast<int>(d.folders.size());
  for (const std::string& name : platform::VisibleSubFolderNames(d.folder))
    d.folders.push_back({name, PathInFolder(d, name), depth, false, false});
  for (const platform::Drive& other : platform::MappedDrives()) {
    if (std::toupper(static_cast<unsigned char>(drive[0])) == other.letter) continue;
    d.folders.push_back(
        {Lower(other.letter) + ":", std::string(1, other.letter) + ":\\", 0, false, true});
  }
  try {
    for (const std::string& path : platform::FolderFiles(d.folder)) {
      const std::string name = path.substr(path.find_last_of('\\') + 1);
      if (platform::IsHiddenName(name)) continue;
      if (std::any_of(d.patterns.begin(), d.patterns.end(),
                      [&](const std::string& p) { return MatchesPattern(name, p); }))
        d.files.push_back(name);
    }
  } catch (const platform::Failure&) {
    d.note = "The folder cannot be read.";
  }
}

FileChoice BeginFileChoice(const ui::FileDialogRequest& request) {
  FileChoice d;
  // The database buttons' captions name the title and the file, with their
  // access-key marks, which are no part of either.
  d.title = CaptionShown(request.title).text;
  d.patterns = FilterPatterns(request.filter);
  d.typeText = request.filter.substr(0, request.filter.find('|'));
  std::string start;
  d.name = request.fileName;
  const size_t slash = request.fileName.find_last_of('\\');
  if (slash != std::string::npos) {
    const std::string folder = request.fileName.substr(0, slash);
    if (platform::FolderExists(folder.size() == 2 ? folder + "\\" : folder)) {
      start = folder;
      d.name = request.fileName.substr(slash + 1);
    }
  }
  if (start.empty() && d.name.find('\\') == std::string::npos) d.name = CaptionShown(d.name).text;
  if (start.empty() && !request.initDir.empty() && platform::FolderExists(request.initDir))
    start = request.initDir;
  if (start.empty()) start = platform::CurrentDirectory();
  OpenFolder(d, start);
  return d;
}

std::optional<std::string> AcceptName(FileChoice& d) {
  std::string name = d.name;
  while (!name.empty() && name.back() == ' ') name.pop_back();
  while (!name.empty() && name.front() == ' ') name.erase(0, 1);
  if (name.empty()) return std::nullopt;
  if (name.find_first_of("*?") != std::string::npos) {
    d.patterns = {name};
    OpenFolder(d, d.folder);
    return std::nullopt;
  }
  std::string full = name;
  if (name.size() < 2 || name[1] != ':')
    full = name[0] == '\\' ? d.folder.substr(0, 2) + name : PathInFolder(d, name);
  if (platform::FolderExists(full)) {
    OpenFolder(d, full);
    d.name.clear();
    return std::nullopt;
  }
  return full;
}

}  // namespace app
