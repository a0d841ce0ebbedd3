#include "platform/profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <random>
#include <string>

#include "files/file_cache.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using platform::GetPrivateProfileIntA;
using platform::GetPrivateProfileStringA;
using platform::WritePrivateProfileStringA;

constexpr const char* kIni = "C:\\t.ini";

// Drive C: is a temporary tree; the file C:\t.ini lies in its root.
class ProfileTest : public ::testing::Test {
 protected:
  void Put(const std::string& bytes, const char* name = "t.ini") { tree_.Write(name, bytes); }
  std::string Get(const char* name = "t.ini") { return tree_.Read(name); }
  static std::string Str(std::string_view sec, std::string_view key, std::string_view def = "dflt",
                         uint32_t size = 255, std::string_view file = kIni) {
    return GetPrivateProfileStringA(sec, key, def, size, file).text;
  }
  static int32_t Int(std::string_view sec, std::string_view key, int32_t def = -1) {
    return GetPrivateProfileIntA(sec, key, def, kIni);
  }

  testsupport::TempTree tree_;
  const fs::path& dir_ = tree_.root();
};

TEST_F(ProfileTest, NamesIgnoreCaseAndSurroundingBlanks) {
  Put("  [ proJect ]\r\n\tsupplier  = Acme\r\n[MASCHINEN\xC4NDERUNG]\r\n\xE4 nderung=1\r\n");
  EXPECT_EQ(Str("Project", "SUPPLIER"), "Acme");
  EXPECT_EQ(Str(" PROJECT\t", "\tSupplier "), "Acme");
  // Windows-1252 letters fold too (u8"ä" is byte 0xE4 in the file, "Ä" is 0xC4).
  EXPECT_EQ(Str("maschinen\xC3\xA4nderung", "\xC3\x84 NDERUNG"), "1");
  EXPECT_EQ(Str("Projec", "Supplier"), "dflt");

  // The same in a Unicode file; a write finds the entry it reads.
  std::string wide = "\xFF\xFE";
  for (char c : std::string("[MASCHINEN\xC4NDERUNG]\r\n\xE4 nderung=1\r\n"))
    wide += std::string{c, '\0'};
  Put(wide);
  EXPECT_EQ(Str("maschinen\xC3\xA4nderung", "\xC3\x84 NDERUNG"), "1");
  EXPECT_NE(WritePrivateProfileStringA("MASCHINEN\xC3\x84NDERUNG", "\xC3\xA4 nderung", "2", kIni),
            0);
  EXPECT_EQ(Get(), wide.replace(wide.size() - 6, 1, "2"));
}

TEST_F(ProfileTest, FirstSectionAndFirstKeyWin) {
  Put("[Project]\r\na=1\r\nA=2\r\n[Other]\r\nb=0\r\n[project]\r\na=3\r\nb=4\r\n");
  EXPECT_EQ(Str("Project", "a"), "1");
  EXPECT_EQ(Str("Project", "b"), "dflt");  // later duplicate sections are not merged
  EXPECT_EQ(Int("Project", "b"), -1);

  EXPECT_NE(WritePrivateProfileStringA("Project", "a", "9", kIni), 0);
  EXPECT_NE(WritePrivateProfileStringA("PROJECT", "c", "5", kIni), 0);
  EXPECT_EQ(Get(),
            "[Project]\r\na=9\r\nA=2\r\nc=5\r\n[Other]\r\nb=0\r\n[project]\r\na=3\r\nb=4\r\n");
}

TEST_F(ProfileTest, CommentsOnlyAtLineStart) {
  Put("[S] ; the header comment\r\n;a=1\r\n  ;b=2\r\nc=x;y\r\n");
  EXPECT_EQ(Str("S", "a"), "dflt");
  EXPECT_EQ(Str("S", "b"), "dflt");
  EXPECT_EQ(Str("S", ";a"), "dflt");
  EXPECT_EQ(Str("S", ";b"), "dflt");
  EXPECT_EQ(Str("S", "c"), "x;y");
}

TEST_F(ProfileTest, BlanksAndQuotesAroundValues) {
  Put("[S]\na =  v w \t\nb=\"  q  \"\nc='x'\nd=\"x'\ne=\"\nf=\nh = \" \" \ni=a=b\n");
  EXPECT_EQ(Str("S", "a"), "v w");
  EXPECT_EQ(Str("S", "b"), "  q  ");
  EXPECT_EQ(Str("S", "c"), "x");
  EXPECT_EQ(Str("S", "d"), "\"x'");  // no matching pair
  EXPECT_EQ(Str("S", "e"), "\"");    // one quote is no pair
  EXPECT_EQ(Str("S", "h"), " ");
  EXPECT_EQ(Str("S", "i"), "a=b");
  auto empty = GetPrivateProfileStringA("S", "f", "dflt", 255, kIni);
  EXPECT_EQ(empty.count, 0u);  // an empty value is a value: no default
  EXPECT_EQ(empty.text, "");
}

TEST_F(ProfileTest, ValueAndDefaultAreCutToTheBuffer) {
  Put("[S]\r\nv=abcdef\r\nlong=" + std::string(300, 'x') + "\r\numl=\xE4\xF6\xFC\r\n");
  auto r = GetPrivateProfileStringA("S", "v", "", 4, kIni);
  EXPECT_EQ(r.count, 3u);
  EXPECT_EQ(r.text, "abc");
  r = GetPrivateProfileStringA("S", "v", "", 1, kIni);
  EXPECT_EQ(r.count, 0u);
  EXPECT_EQ(r.text, "");
  r = GetPrivateProfileStringA("S", "v", "", 0, kIni);
  EXPECT_EQ(r.count, 0u);
  EXPECT_EQ(r.text, "");
  r = GetPrivateProfileStringA("S", "long", "", 255, kIni);
  EXPECT_EQ(r.count, 254u);
  EXPECT_EQ(r.text, std::string(254, 'x'));
  // Cut by characters of the file, not by UTF-8 bytes.
  r = GetPrivateProfileStringA("S", "uml", "", 3, kIni);
  EXPECT_EQ(r.count, 2u);
  EXPECT_EQ(r.text, "\xC3\xA4\xC3\xB6");

  r = GetPrivateProfileStringA("S", "missing", std::string(255, ' '), 255, kIni);
  EXPECT_EQ(r.count, 0u);
  EXPECT_EQ(r.text, "");
  r = GetPrivateProfileStringA("S", "missing", " x y  ", 255, kIni);
  EXPECT_EQ(r.count, 4u);
  EXPECT_EQ(r.text, " x y");
  r = GetPrivateProfileStringA("S", "missing", "defaultvalue", 4, kIni);
  EXPECT_EQ(r.count, 3u);
  EXPECT_EQ(r.text, "def");
  r = GetPrivateProfileStringA("S", "missing", "\xC3\xA4\xC3\xB6\xC3\xBC", 3, kIni);
  EXPECT_EQ(r.count, 2u);
  EXPECT_EQ(r.text, "\xC3\xA4\xC3\xB6");
}

// A line without "=" is no entry: its key reads as missing (the default), a
// later real entry of that name is found, and a write adds a proper entry.
TEST_F(ProfileTest, LinesWithoutEqualsAreNoEntries) {
  Put("[S]\r\nflag\r\nx=1\r\nflag2\r\nflag2=later\r\n]\r\n;\r\n[T\r\ny=2\r\n[U]junk\r\nz=3\r\n");
  EXPECT_EQ(Str("S", "flag"), "dflt");
  EXPECT_EQ(Int("S", "flag", 7), 7);
  EXPECT_EQ(Str("S", "flag2"), "later");
  // "]" is no header and "[T" without "]" neither, so y still belongs to S.
  EXPECT_EQ(Str("S", "y"), "2");
  EXPECT_EQ(Str("T", "y"), "dflt");
  EXPECT_EQ(Str("U", "z"), "3");

  EXPECT_NE(WritePrivateProfileStringA("S", "flag", "on", kIni), 0);
  EXPECT_EQ(Get(),
            "[S]\r\nflag\r\nx=1\r\nflag2\r\nflag2=later\r\n]\r\n;\r\n[T\r\ny=2\r\nflag=on\r\n"
            "[U]junk\r\nz=3\r\n");
  EXPECT_EQ(Str("S", "flag"), "on");
}

TEST_F(ProfileTest, EmptyNamesNeverMatch) {
  Put("[]\r\n=1\r\nk=2\r\n[S]\r\n=3\r\n");
  EXPECT_EQ(Str("", "k"), "dflt");
  EXPECT_EQ(Str("S", ""), "dflt");
  EXPECT_EQ(Str(" ", " "), "dflt");
  EXPECT_EQ(WritePrivateProfileStringA("", "k", "v", kIni), 0);
  EXPECT_EQ(WritePrivateProfileStringA("S", " ", "v", kIni), 0);
  EXPECT_EQ(Get(), "[]\r\n=1\r\nk=2\r\n[S]\r\n=3\r\n");
}

TEST_F(ProfileTest, IntegerValues) {
  Put("[N]\na=12abc\nb=0x10\nc=0XfF\nd=abc\ne=-1\nf=40000\ng=  7 \nh=\ni=4294967297\n"
      "j=-2147483649\nk=+5\nl=\"21\"\nm=-0x10\nn=0x\no=99999999999999999999999\n");
  EXPECT_EQ(Int("N", "a"), 12);
  EXPECT_EQ(Int("N", "b"), 16);
  EXPECT_EQ(Int("N", "c"), 255);
  EXPECT_EQ(Int("N", "d"), 0);
  EXPECT_EQ(Int("N", "e", 5), -1);
  EXPECT_EQ(Int("N", "f"), 40000);
  EXPECT_EQ(Int("N", "g"), 7);
  EXPECT_EQ(Int("N", "h"), 0);  // present but empty: no number, not the default
  EXPECT_EQ(Int("N", "i"), 1);  // wraps in 32 bits
  EXPECT_EQ(Int("N", "j"), 2147483647);
  EXPECT_EQ(Int("N", "k"), 5);
  EXPECT_EQ(Int("N", "l"), 21);
  EXPECT_EQ(Int("N", "m"), -16);
  EXPECT_EQ(Int("N", "n"), 0);
  Int("N", "o");  // must merely not overflow a signed type
  EXPECT_EQ(Int("N", "missing", 42), 42);
  EXPECT_EQ(Int("Missing", "a", 42), 42);
}

TEST_F(ProfileTest, LineBreaksAndOddContent) {
  // CR LF, LF, a lone CR (also a break) and no final break.
  Put("[S]\r\na=1\nb=2\rc=3\r\n\r\nd=4");
  EXPECT_EQ(Str("S", "a"), "1");
  EXPECT_EQ(Str("S", "b"), "2");
  EXPECT_EQ(Str("S", "c"), "3");
  EXPECT_EQ(Str("S", "d"), "4");

  // Binary bytes before the first section (FF FE would mark a Unicode file).
  Put(std::string("\xFF\xFD\x00\x01junk\r\n[S]\r\nbin=a\x00z\r\n", 24) + std::string(100000, 'q') +
      "\r\nk=" + std::string(100000, 'v') + "\r\nafter=ok\r\n");
  EXPECT_EQ(Str("S", "after"), "ok");
  EXPECT_EQ(Str("S", "bin"), std::string("a\0z", 3));
  auto big = GetPrivateProfileStringA("S", "k", "", 200000, kIni);
  EXPECT_EQ(big.count, 100000u);

  Put("");
  EXPECT_EQ(Str("S", "a"), "dflt");
  fs::create_directory(dir_ / "folder.ini");
  EXPECT_EQ(Str("S", "a", "dflt", 255, "C:\\folder.ini"), "dflt");
  EXPECT_EQ(Int("S", "a", 3), 3);
  EXPECT_EQ(Str("S", "a", "dflt", 255, "C:\\missing.ini"), "dflt");
  EXPECT_EQ(Str("S", "a", "dflt", 255, "C:\\no\\such.ini"), "dflt");
}

TEST_F(ProfileTest, ReplaceKeepsEveryOtherLine) {
  std::string before = "junk before\n[S]\r\n  Key = old ;c\n; note\r  \tx=\"q\" \r\n";
  Put(before + "[T]\r\nKey=t\n\x01\xFF");
  EXPECT_NE(WritePrivateProfileStringA("s", "KEY", "new", kIni), 0);
  // The key keeps its indentation, spelling and line break.
  EXPECT_EQ(Get(), "junk before\n[S]\r\n  Key=new\n; note\r  \tx=\"q\" \r\n[T]\r\nKey=t\n\x01\xFF");

  // The junk last line without a break stays as it is.
  EXPECT_NE(WritePrivateProfileStringA("T", "key", "u", kIni), 0);
  EXPECT_EQ(Get(), "junk before\n[S]\r\n  Key=new\n; note\r  \tx=\"q\" \r\n[T]\r\nKey=u\n\x01\xFF");
}

TEST_F(ProfileTest, AddsMissingKeysAndSections) {
  Put("x=1\n[A]\na=1\n\n[B]\n;only a comment\n[C]\nc=1");
  EXPECT_NE(WritePrivateProfileStringA("A", "b", "2", kIni), 0);
  EXPECT_NE(WritePrivateProfileStringA("B", "k", "v", kIni), 0);
  EXPECT_EQ(Get(), "x=1\n[A]\na=1\nb=2\r\n\n[B]\nk=v\r\n;only a comment\n[C]\nc=1");
  // The last line gets its break before the new entry.
  EXPECT_NE(WritePrivateProfileStringA("C", "d", "2", kIni), 0);
  EXPECT_EQ(Get(), "x=1\n[A]\na=1\nb=2\r\n\n[B]\nk=v\r\n;only a comment\n[C]\nc=1\r\nd=2\r\n");
  // A new section follows directly, without a blank line.
  EXPECT_NE(WritePrivateProfileStringA(" New ", " n ", "1", kIni), 0);
  EXPECT_EQ(Get(),
            "x=1\n[A]\na=1\nb=2\r\n\n[B]\nk=v\r\n;only a comment\n[C]\nc=1\r\nd=2\r\n"
            "[New]\r\nn=1\r\n");
  // Entries above the first header belong to no section.
  EXPECT_EQ(Str("A", "x"), "dflt");

  Put("[Only]");
  EXPECT_NE(WritePrivateProfileStringA("Only", "k", "v", kIni), 0);
  EXPECT_EQ(Get(), "[Only]\r\nk=v\r\n");
  Put("a=1");
  EXPECT_NE(WritePrivateProfileStringA("S", "k", "v", kIni), 0);
  EXPECT_EQ(Get(), "a=1\r\n[S]\r\nk=v\r\n");
  Put("a=1\r");
  EXPECT_NE(WritePrivateProfileStringA("S", "k", "v", kIni), 0);
  EXPECT_EQ(Get(), "a=1\r[S]\r\nk=v\r\n");
}

TEST_F(ProfileTest, CreatesMissingFileButNotFolder) {
  EXPECT_NE(WritePrivateProfileStringA("Project", "Supplier", "Acme", "C:\\new.ini"), 0);
  EXPECT_EQ(Get("new.ini"), "[Project]\r\nSupplier=Acme\r\n");
  EXPECT_EQ(WritePrivateProfileStringA("Project", "Supplier", "Acme", "C:\\nodir\\new.ini"), 0);
  EXPECT_FALSE(fs::exists(dir_ / "nodir"));
  fs::create_directory(dir_ / "folder.ini");
  EXPECT_EQ(WritePrivateProfileStringA("S", "k", "v", "C:\\folder.ini"), 0);
  EXPECT_TRUE(fs::is_directory(dir_ / "folder.ini"));

  // A file that cannot be read is no missing file: it must not be replaced by
  // a new one holding only the written entry.
  Put("[S]\r\nkeep=1\r\n", "wo.ini");
  chmod((dir_ / "wo.ini").c_str(), 0200);
  EXPECT_EQ(Str("S", "keep", "dflt", 255, "C:\\wo.ini"), "dflt");
  EXPECT_EQ(WritePrivateProfileStringA("S", "k", "v", "C:\\wo.ini"), 0);
  chmod((dir_ / "wo.ini").c_str(), 0600);  // for the test's own look
  EXPECT_EQ(Get("wo.ini"), "[S]\r\nkeep=1\r\n");
}

TEST_F(ProfileTest, SameValueSucceedsAndReadOnlyIsRefused) {
  Put("[S]\r\nk=v\r\n");
  EXPECT_NE(WritePrivateProfileStringA("S", "k", "v", kIni), 0);
  EXPECT_EQ(Get(), "[S]\r\nk=v\r\n");

  chmod((dir_ / "t.ini").c_str(), 0444);
  EXPECT_EQ(WritePrivateProfileStringA("S", "k", "w", kIni), 0);
  EXPECT_EQ(WritePrivateProfileStringA("S", "new", "w", kIni), 0);
  EXPECT_EQ(Get(), "[S]\r\nk=v\r\n");
  EXPECT_EQ(Str("S", "k"), "v");
}

TEST_F(ProfileTest, UnsafeTextsChangeNothing) {
  const std::string before = "[S]\r\nk=v\r\n";
  Put(before);
  const std::string nul("a\0b", 3);
  for (const std::string& bad : {std::string("a\rb"), std::string("a\nb"), std::string("a\r\n[X]"),
                                 nul, std::string("\n")}) {
    EXPECT_EQ(WritePrivateProfileStringA(bad, "k", "v", kIni), 0) << bad;
    EXPECT_EQ(WritePrivateProfileStringA("S", bad, "v", kIni), 0) << bad;
    EXPECT_EQ(WritePrivateProfileStringA("S", "k", bad, kIni), 0) << bad;
    EXPECT_EQ(WritePrivateProfileStringA("S", "new", bad, kIni), 0) << bad;
  }
  // Names that would be read back as something else.
  EXPECT_EQ(WritePrivateProfileStringA("S]x", "k", "v", kIni), 0);
  EXPECT_EQ(WritePrivateProfileStringA("S", "a=b", "v", kIni), 0);
  EXPECT_EQ(WritePrivateProfileStringA("S", ";k", "v", kIni), 0);
  EXPECT_EQ(WritePrivateProfileStringA("S", "[X]", "v", kIni), 0);
  EXPECT_EQ(Get(), before);
  EXPECT_EQ(WritePrivateProfileStringA("S", "k", "a\nb", "C:\\created.ini"), 0);
  EXPECT_FALSE(fs::exists(dir_ / "created.ini"));

  // Blanks, "=" and ";" in a value are written as they are.
  EXPECT_NE(WritePrivateProfileStringA("S", "k", " a=b;c ", kIni), 0);
  EXPECT_EQ(Get(), "[S]\r\nk= a=b;c \r\n");
  EXPECT_EQ(Str("S", "k"), "a=b;c");
}

TEST_F(ProfileTest, EveryCallSeesTheFileAsItIsNow) {
  Put("[S]\r\nk=1\r\n");
  EXPECT_EQ(Str("S", "k"), "1");
  Put("[S]\r\nk=2\r\nother=x\r\n");
  EXPECT_EQ(Str("S", "k"), "2");
  EXPECT_NE(WritePrivateProfileStringA("S", "k", "3", kIni), 0);
  EXPECT_EQ(Get(), "[S]\r\nk=3\r\nother=x\r\n");
}

TEST_F(ProfileTest, AnsiCodePageAtTheBoundary) {
  EXPECT_NE(WritePrivateProfileStringA("Project", "Mode", "Maschinenabh\xC3\xA4ngig", kIni), 0);
  EXPECT_EQ(Get(), "[Project]\r\nMode=Maschinenabh\xE4ngig\r\n");
  EXPECT_EQ(Str("Project", "Mode"), "Maschinenabh\xC3\xA4ngig");
  auto r = GetPrivateProfileStringA("Project", "Mode", "", 255, kIni);
  EXPECT_EQ(r.count, 17u);

  // A character outside Windows-1252 becomes "?"; the euro sign is 0x80.
  EXPECT_NE(WritePrivateProfileStringA("Project", "Mode", "\xE4\xB8\xAD \xE2\x82\xAC", kIni), 0);
  EXPECT_EQ(Get(), "[Project]\r\nMode=? \x80\r\n");
  EXPECT_EQ(Str("Project", "Mode"), "? \xE2\x82\xAC");

  // Case folding reaches the non-ASCII key already in the file.
  Put("[\xC4]\r\n\xE4=1\r\n");
  EXPECT_NE(WritePrivateProfileStringA("\xC3\xA4", "\xC3\x84", "2", kIni), 0);
  EXPECT_EQ(Get(), "[\xC4]\r\n\xE4=2\r\n");
}

TEST_F(ProfileTest, TenThousandSections) {
  std::string big;
  for (int i = 0; i < 10000; ++i)
    big += "[Machine" + std::to_string(i) + "]\r\nName=M" + std::to_string(i) + "\r\n";
  Put(big);
  EXPECT_EQ(Str("machine9999", "name"), "M9999");
  EXPECT_NE(WritePrivateProfileStringA("Machine9999", "Speed", "1.5", kIni), 0);
  EXPECT_EQ(Get(), big + "Speed=1.5\r\n");
  EXPECT_NE(WritePrivateProfileStringA("Machine10000", "Name", "X", kIni), 0);
  EXPECT_EQ(Get(), big + "Speed=1.5\r\n[Machine10000]\r\nName=X\r\n");
}

}  // namespace

namespace {

// Several entries in one write leave the bytes the single writes in the same
// order leave: keys already there, new keys of a section, new sections, a key
// written twice, a file without a final line break; a refused entry is left
// out and the others still go in.
TEST_F(ProfileTest, EntriesWrittenTogetherLeaveWhatSingleWritesLeave) {
  const std::string start = "[A]\r\nx=1\r\n; note\r\n[B]\r\ny=2";
  const std::vector<platform::ProfileEntry> entries = {
      {"A", "x", "10"}, {"b", "Z", "3"},      {"C", "k", "v"},  {"A", "new", " spaced "},
      {"C", "k", "w"},  {"D", "bad", "a\nb"}, {"a", "X", "11"}, {"E", "Caption_\xC4", "\xE4"}};
  Put(start, "single.ini");
  for (const auto& e : entries)
    WritePrivateProfileStringA(e.section, e.key, e.value, "C:\\single.ini");
  Put(start, "batch.ini");
  EXPECT_EQ(platform::WritePrivateProfileEntries(entries, "C:\\batch.ini"), 0);  // one refused
  EXPECT_EQ(Get("batch.ini"), Get("single.ini"));
  EXPECT_EQ(Str("D", "bad", "-", 255, "C:\\batch.ini"), "-");

  // A missing file is created; nothing to write leaves none.
  EXPECT_EQ(platform::WritePrivateProfileEntries({{"S", "k", "v"}}, "C:\\new.ini"), 1);
  EXPECT_EQ(Get("new.ini"), "[S]\r\nk=v\r\n");
  EXPECT_EQ(platform::WritePrivateProfileEntries({}, "C:\\none.ini"), 1);
  EXPECT_FALSE(tree_.Exists("none.ini"));
}

// Many edits of one file in random order, patched into the kept index one
// after the other, leave the bytes of the same edits each made on a fresh read
// of the file: every offset the index moves lands where a new parse puts it.
TEST_F(ProfileTest, RandomEditsThroughTheKeptIndexLeaveAFreshRewritesBytes) {
  std::mt19937 random(20261209);
  std::string start;
  for (int s = 0; s < 12; ++s) {
    start += "[Sec" + std::to_string(s) + "]\r\n; c\r\n";
    for (int k = 0; k < 9; ++k)
      start += "Key" + std::to_string(k) + "=" + std::string(k, 'v') + "\r\n";
  }
  std::vector<platform::ProfileEntry> entries;
  for (int n = 0; n < 600; ++n) {
    const int sec = static_cast<int>(random() % 14), key = static_cast<int>(random() % 12);
    std::string name = (random() % 2 ? "key" : "KEY") + std::to_string(key);
    entries.push_back({"sec" + std::to_string(sec), name, std::string(random() % 20, 'x')});
  }
  Put(start, "single.ini");
  for (const auto& e : entries) {
    platform::ForgetCachedFile(dir_ / "single.ini");
    ASSERT_NE(WritePrivateProfileStringA(e.section, e.key, e.value, "C:\\single.ini"), 0);
  }
  Put(start, "batch.ini");
  ASSERT_EQ(platform::WritePrivateProfileEntries(entries, "C:\\batch.ini"), 1);
  EXPECT_EQ(Get("batch.ini"), Get("single.ini"));
}

}  // namespace
