#include "platform/winpath.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <system_error>

#include "platform/name_index.h"

namespace platform {
namespace fs = std::filesystem;

namespace {

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

bool IsAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char UpperLetter(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string_view TrimSpaces(std::string_view s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

// Absolute and lexically normal, without a trailing separator (except for "/").
fs::path AbsoluteHost(const fs::path& p) {
  std::error_code ec;
  fs::path a = fs::absolute(p, ec);
  if (ec) a = p;
  a = a.lexically_normal();
  if (a.has_relative_path() && !a.has_filename()) a = a.parent_path();
  return a;
}

const Drive* FindDrive(const std::vector<Drive>& drives, char letter) {
  for (const Drive& d : drives)
    if (d.letter == letter) return &d;
  return nullptr;
}

// The components of p below root, or nothing when root is not a prefix of p.
// Both must be absolute and normal.
std::optional<std::vector<std::string>> BelowRoot(const fs::path& p, const fs::path& root) {
  auto pi = p.begin();
  for (auto ri = root.begin(); ri != root.end(); ++ri, ++pi) {
    if (ri->empty()) continue;  // a trailing empty element, should one remain
    if (pi == p.end() || *pi != *ri) return std::nullopt;
  }
  std::vector<std::string> rest;
  for (; pi != p.end(); ++pi)
    if (!pi->empty()) rest.push_back(pi->string());
  return rest;
}

size_t Depth(const fs::path& p) {
  size_t n = 0;
  for (const auto& e : p)
    if (!e.empty()) ++n;
  return n;
}

std::optional<std::string> ToWindowsWith(const fs::path& host, const std::vector<Drive>& drives) {
  fs::path lexical = AbsoluteHost(host);
  std::error_code ec;
  fs::path canonical = fs::weakly_canonical(lexical, ec);
  if (ec) canonical = lexical;

  // The most specific root wins; symbolic links in a root or in the path are
  // allowed for, since the working directory comes back with them resolved.
  const Drive* best = nullptr;
  size_t bestDepth = 0;
  std::vector<std::string> bestRest;
  auto consider = [&](const Drive& d, const fs::path& p, const fs::path& root) {
    auto rest = BelowRoot(p, root);
    size_t depth = Depth(root);
    if (rest && (best == nullptr || depth > bestDepth)) {
      best = &d;
      bestDepth = depth;
      bestRest = std::move(*rest);
    }
  };
  for (const Drive& d : drives) {
    consider(d, lexical, d.root);
    fs::path canonicalRoot = fs::weakly_canonical(d.root, ec);
    if (!ec) consider(d, canonical, canonicalRoot);
  }
  if (best == nullptr) return std::nullopt;
  std::string win{best->letter, ':', '\\'};
  for (size_t i = 0; i < bestRest.size(); ++i) {
    if (i > 0) win += '\\';
    win += bestRest[i];
  }
  return win;
}

std::string CurrentDirectoryWith(const std::vector<Drive>& drives) {
  std::error_code ec;
  fs::path cwd = fs::current_path(ec);
  if (!ec) {
    if (auto win = ToWindowsWith(cwd, drives)) return *win;
  }
  return "C:\\";
}

// Appends the components of a Windows path text to parts, folding "." and ".."
// (which stops at the drive root).
void AppendComponents(std::string_view text, std::vector<std::string>& parts) {
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsSeparator(text[i])) ++i;
    size_t start = i;
    while (i < text.size() && !IsSeparator(text[i])) ++i;
    std::string_view c = text.substr(start, i - start);
    if (c.empty() || c == ".") continue;
    if (c == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.emplace_back(c);
  }
}

struct WinParts {
  char drive;
  std::vector<std::string> components;
};

std::optional<WinParts> Parse(std::string_view win, const std::vector<Drive>& drives) {
  if (win.find('\0') != std::string_view::npos) return std::nullopt;
  if (win.size() >= 2 && IsSeparator(win[0]) && IsSeparator(win[1])) return std::nullopt;  // UNC
  WinParts parts{};
  if (win.size() >= 2 && IsAsciiLetter(win[0]) && win[1] == ':') {
    parts.drive = UpperLetter(win[0]);
    AppendComponents(win.substr(2), parts.components);
    return parts;
  }
  std::string cwd = CurrentDirectoryWith(drives);
  parts.drive = cwd[0];
  if (!win.empty() && IsSeparator(win[0])) {
    AppendComponents(win, parts.components);
  } else {
    AppendComponents(std::string_view(cwd).substr(2), parts.components);
    AppendComponents(win, parts.components);
  }
  return parts;
}

// The host name of an existing entry of dir matching name regardless of case:
// the exact name when it exists, else the smallest match in byte order.
std::optional<std::string> ResolveComponent(const fs::path& dir, const std::string& name) {
  struct stat st;
  if (lstat((dir / name).c_str(), &st) == 0) return name;
  if (errno != ENOENT) return std::nullopt;
  return FindNameIgnoringCase(dir, name);
}

}  // namespace

std::vector<Drive> MappedDrives() {
  std::map<char, fs::path> roots;
  roots['C'] = "/";
  if (const char* env = std::getenv("KORVEX_DRIVES")) {
    std::string_view all(env);
    size_t pos = 0;
    while (pos <= all.size()) {
      size_t end = all.find(';', pos);
      if (end == std::string_view::npos) end = all.size();
      std::string_view entry = all.substr(pos, end - pos);
      pos = end + 1;
      size_t eq = entry.find('=');
      if (eq == std::string_view::npos) continue;
      std::string_view letter = TrimSpaces(entry.substr(0, eq));
      std::string_view root = TrimSpaces(entry.substr(eq + 1));
      if (letter.size() == 2 && letter[1] == ':') letter.remove_suffix(1);
      if (letter.size() != 1 || !IsAsciiLetter(letter[0]) || root.empty()) continue;
      roots[UpperLetter(letter[0])] = AbsoluteHost(fs::path(std::string(root)));
    }
  }
  std::vector<Drive> drives;
  for (auto& [letter, root] : roots) drives.push_back(Drive{letter, root});
  return drives;
}

std::optional<fs::path> ToHost(std::string_view winPath) {
  std::vector<Drive> drives = MappedDrives();
  std::optional<WinParts> parts = Parse(winPath, drives);
  if (!parts) return std::nullopt;
  const Drive* drive = FindDrive(drives, parts->drive);
  if (drive == nullptr) return std::nullopt;
  fs::path host = drive->root;
  bool resolving = true;
  for (const std::string& c : parts->components) {
    if (resolving) {
      if (auto name = ResolveComponent(host, c)) {
        host /= *name;
        continue;
      }
      resolving = false;
    }
    host /= c;
  }
  return host;
}

std::optional<std::string> ToWindows(const fs::path& host) {
  return ToWindowsWith(host, MappedDrives());
}

std::string CurrentDirectory() {
  return CurrentDirectoryWith(MappedDrives());
}

char CurrentDrive() {
  return CurrentDirectory()[0];
}

bool IsHiddenName(std::string_view hostName) {
  return !hostName.empty() && hostName[0] == '.';
}

}  // namespace platform
