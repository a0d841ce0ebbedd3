#include "platform/winpath.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <system_error>

#include "files/name_index.h"

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

// Appends a name to a host path.
void Append(std::string& host, std::string_view name) {
  if (host.empty() || host.back() != '/') host += '/';
  host += name;
}

std::string Joined(std::string host, const std::vector<std::string>& names, size_t from,
                   size_t to) {
  for (size_t i = from; i < to; ++i) Append(host, names[i]);
  return host;
}

// The drives of the variable's text; relative roots are taken from the current
// directory, so that they depend on more than the text.
std::vector<Drive> ParseDrives(const char* env, bool& onlyAbsoluteRoots) {
  std::map<char, fs::path> roots;
  roots['C'] = "/";
  onlyAbsoluteRoots = true;
  if (env != nullptr) {
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
      if (root[0] != '/') onlyAbsoluteRoots = false;
      roots[UpperLetter(letter[0])] = AbsoluteHost(fs::path(std::string(root)));
    }
  }
  std::vector<Drive> drives;
  for (auto& [letter, root] : roots) drives.push_back(Drive{letter, root});
  return drives;
}

// The drives now, parsed again only when the variable has changed (or names a
// relative root): every path of every file operation passes through here.
const std::vector<Drive>& CurrentDrives() {
  thread_local std::optional<std::string> lastText;
  thread_local bool lastReusable = false;
  thread_local std::vector<Drive> last;
  const char* env = std::getenv("KORVEX_DRIVES");
  const bool same = env == nullptr ? !lastText.has_value() : lastText && *lastText == env;
  if (!(same && lastReusable)) {
    last = ParseDrives(env, lastReusable);
    if (env == nullptr)
      lastText.reset();
    else
      lastText = env;
  }
  return last;
}

}  // namespace

std::vector<Drive> MappedDrives() {
  return CurrentDrives();
}

std::string DrivesProblem() {
  const char* env = std::getenv("KORVEX_DRIVES");
  if (env == nullptr) return {};
  std::string_view all(env);
  std::string named;  // the letters so far
  for (size_t pos = 0; pos <= all.size();) {
    size_t end = all.find(';', pos);
    if (end == std::string_view::npos) end = all.size();
    const std::string_view entry = all.substr(pos, end - pos);
    pos = end + 1;
    if (TrimSpaces(entry).empty()) continue;  // "C=/a;" and ";;" name nothing more
    const std::string quoted = "KORVEX_DRIVES: the entry \"" + std::string(entry) + "\" ";
    const size_t eq = entry.find('=');
    if (eq == std::string_view::npos)
      return quoted + "has no \"=\" between drive letter and folder (e.g. C=/srv/plant-c)";
    std::string_view letter = TrimSpaces(entry.substr(0, eq));
    const std::string_view root = TrimSpaces(entry.substr(eq + 1));
    if (letter.size() == 2 && letter[1] == ':') letter.remove_suffix(1);
    if (letter.size() != 1 || !IsAsciiLetter(letter[0]))
      return quoted + "names no drive letter before its \"=\"";
    if (root.empty() || root[0] != '/') return quoted + "names no absolute folder after its \"=\"";
    const char upper = UpperLetter(letter[0]);
    if (named.find(upper) != std::string::npos)
      return quoted + "maps " + std::string(1, upper) + ": a second time";
    named += upper;
  }
  return {};
}

std::optional<fs::path> ToHost(std::string_view winPath) {
  const std::vector<Drive>& drives = CurrentDrives();
  std::optional<WinParts> parts = Parse(winPath, drives);
  if (!parts) return std::nullopt;
  const Drive* drive = FindDrive(drives, parts->drive);
  if (drive == nullptr) return std::nullopt;
  const std::vector<std::string>& names = parts->components;
  const size_t n = names.size();
  std::string host = drive->root.string();
  // Each name is taken as written when it exists so, else the entry that matches
  // it ignoring case; after the first missing one the names stay as written.
  // Most paths exist as written, or all but their last name: their whole text
  // is tried first, again after each name found only ignoring case.
  bool wholeFirst = true;
  for (size_t i = 0; i < n;) {
    struct stat st;
    if (wholeFirst) {
      wholeFirst = false;
      std::string whole = Joined(host, names, i, n);
      if (lstat(whole.c_str(), &st) == 0) return whole;
      if (errno == ENOENT) {
        if (i + 1 == n) {
          Append(host, FindNameIgnoringCase(host, names[i]).value_or(names[i]));
          return host;
        }
        std::string folder = Joined(host, names, i, n - 1);
        if (stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
          Append(folder, FindNameIgnoringCase(folder, names[n - 1], &st).value_or(names[n - 1]));
          return folder;
        }
      }
    }
    std::string next = Joined(host, names, i, i + 1);
    if (lstat(next.c_str(), &st) == 0) {
      host = std::move(next);
      ++i;
      continue;
    }
    std::optional<std::string> found;
    if (errno == ENOENT) found = FindNameIgnoringCase(host, names[i]);
    if (!found) return Joined(host, names, i, n);
    Append(host, *found);
    ++i;
    wholeFirst = true;
  }
  return host;
}

std::optional<std::string> ToWindows(const fs::path& host) {
  return ToWindowsWith(host, CurrentDrives());
}

std::string CurrentDirectory() {
  return CurrentDirectoryWith(CurrentDrives());
}

char CurrentDrive() {
  return CurrentDirectory()[0];
}

bool IsHiddenName(std::string_view hostName) {
  return !hostName.empty() && hostName[0] == '.';
}

}  // namespace platform
