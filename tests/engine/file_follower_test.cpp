#include "test_support.h"

#include <commctrl.h>

#include <algorithm>
#include <map>

#include "commands/bookmark_commands.h"
#include "engine/charset.h"
#include "engine/file_bookmarks.h"
#include "engine/io_watch.h"
#include "ui/settings.h"

namespace {

using RowList = std::vector<std::wstring>;

std::string Utf16(const std::string& ascii) {
  std::string wide;
  for (char c : ascii) wide += std::string(1, c) + '\0';
  return wide;
}

struct FollowerTest : HostedTest {
  void SetUp() override { HostedTest::SetUp(); engineHost.showError = [](UINT, DWORD) {}; }  // no box to block on
  void Open(const std::wstring& name) { ASSERT_TRUE(OpenFile(name.c_str())); }

  // Lets timer 1 run until the view holds the expected rows, at most a few seconds.
  bool WaitForRows(const RowList& expected) { return PumpUntil([&] { return Rows() == expected; }); }
};

// A writer's moves, the follower's steps and what the view then holds: "w" writes the file anew, "a" appends, "o"
// opens, "p" polls, "r" reloads, "z" toggles pause, "L1" and "L0" set Scroll Lock, "c" picks the charset of a command,
// "e" erases the content, "W4" wraps rows at 4 units, "FsERR,hbeat" loads again with filters showing or hiding lines
// with their text ("F" alone with none), "g" appends the rest during the next poll's size pane refresh (between its
// size check and its reads), "b" loads earlier rows, "s" the start of the file, "u" presses Up and "m" turns the wheel
// up on the first row, "d" presses Down on the last, "E" goes back to the end, "j7,12" shows the line 7 lines past the
// last line break before the byte 12 units into it, "#3" expects the row it said holds that unit, "B1" and "B0" expect
// browsing or not, "=" expects the rows (UTF-8, separated by "|") and "f" the file's bytes; "k2" toggles the bookmark of
// the line of row 2, "n" and "N" go to the next and previous bookmark, "^" expects the row with the focus, "K" the
// rows a bookmark marks, as "=" does, and "C" what Copy bookmarked lines copies, each line ended by "|"; "v" expects
// the rows' levels (LogLevel's values, a digit a row); "X" clears the bookmarks. Several files in one view: ">2" sends
// the writer's moves to file 2 (0 is the first), "+2" adds it to the view, "?2" adds it as the command line does
// (it may not exist yet), "-2" takes it out ("-2!": it cannot), "y" renames the writer's file away and writes its name anew, "~" waits
// on timer 1 for the rows, as "=" expects them, "h101" expects which of the view's files are open, "i" expects the
// file of each row (a digit a row).
struct Scenario {
  const char* name; std::vector<std::string> steps;
  uint32_t kbLimit = 256, linesLimit = 2048, fallback = kCharsetCurrent;
  bool dated = false;  // "10:00:01" at a line's start, in written and expected text alike, stands for "2026-01-01 10:00:01"
};

std::string Dated(const std::string& text) {
  std::string dated;
  for (size_t i = 0; i < text.size(); ++i) {
    bool lineStart = i == 0 || text[i - 1] == '\n' || text[i - 1] == '|' || (i == 1 && text[0] == '=');
    if (lineStart && i + 3 <= text.size() && isdigit(uint8_t(text[i])) && isdigit(uint8_t(text[i + 1])) && text[i + 2] == ':')
      dated += "2026-01-01 ";
    dated += text[i];
  }
  return dated;
}

RowList RowsOf(const std::string& list) {
  RowList rows;
  for (size_t start = 0; start < list.size();) {
    size_t end = std::min(list.find('|', start), list.size());
    rows.push_back(Widen(list.substr(start, end - start)));
    start = end + 1;
  }
  return rows;
}

// The rows NumberedLines makes, as "=" expects them.
std::string NumberedRowText(int from, int to, const std::string& prefix) {
  std::string text;
  for (int i = from; i < to; ++i) text += (i > from ? "|" : "") + prefix + std::to_string(i);
  return text;
}
const std::string kLongPrefix = std::string(300, 'x') + "line ";

const std::string kMark16("\xFF\xFE", 2);
std::wstring growPath;  // emptied by the one write
std::string growBytes;
void GrowOnce() { if (!growPath.empty()) AppendBytes(std::exchange(growPath, L""), growBytes); }

TEST_F(FollowerTest, Scenarios) {
  const Scenario scenarios[] = {
      {"a line written in pieces becomes one row",
       {"wfirst\n", "o", "p", "=first", "ahel", "p", "=first", "r", "p", "=first", "alo\r\nwor", "p", "ald\n", "p",
        "=first|hello|world"}},
      {"a UTF-8 character finished by later writes",
       {"wprice: \xE2", "o", "p", "a\x82", "p", "a\xAC\n", "p", "=price: \xE2\x82\xAC"}, 256, 2048, kCharsetUtf8},
      {"a cut UTF-8 character keeps the line feed after it",
       {"wcut \xE2\x82\n", "o", "p", "=cut \xEF\xBF\xBD", "a\xF0\x9F\n", "p", "anext\n", "p",
        "=cut \xEF\xBF\xBD|\xEF\xBF\xBD|next"}, 256, 2048, kCharsetUtf8},
      {"an odd byte of UTF-16 waits for its other half",
       {"w" + kMark16 + Utf16("ab\nc").substr(0, 7), "o", "p", "=ab", std::string("a\0d\0\n\0", 6), "p", "=ab|cd"}},
      {"a truncation takes the unfinished line with it",
       {"wone\ntwo\nhalf of a line", "o", "p", "=one|two", "w", "p", "=", "ax\n", "p", "=x", "ay\n", "p", "=x|y"}},
      {"a truncated UTF-16 file is read again from its mark",
       {"w" + kMark16 + Utf16("one\nhalf"), "o", "p", "=one", "w", "p", "a" + kMark16 + Utf16("x\n"), "p", "=x"}},
      {"a file cut and rewritten past its old size between polls",
       {"wold line\n", "o", "p", "wbrand new first line\nsecond\n", "p", "=brand new first line|second"}},
      {"a reload while paused reads once and stays paused",
       {"wa\n", "o", "p", "z", "ab\n", "r", "p", "=a|b", "ac\n", "p", "p", "=a|b"}},
      {"a tail without another line feed shows nothing until one comes",
       {"whead\n" + std::string(3000, 'z'), "o", "p", "=", "azz\nnext\n", "p", "=zz|next"}, 1},
      {"a UTF-16 tail cut short before a half-written unit stays on the unit grid",
       {"w" + kMark16 + Utf16("head\n" + std::string(1000, 'z')) + "x", "o", "p", "=",
        std::string("a\0", 2) + Utf16("next\nand more\n"), "p", "=xnext|and more"}, 1},
      {"a file of exactly the kb limit loads whole",
       {"wfirst\n" + std::string(1017, '.') + "\n", "o", "p", std::string("=first|") + std::string(1017, '.')}, 1},
      {"Scroll Lock lets the view outgrow the row limit until released",
       {"wr1\nr2\nr3\nr4\nr5\n", "o", "p", "=r3|r4|r5", "L1", "ar6\nr7\n", "p", "=r3|r4|r5|r6|r7",
        "L0", "ar8\n", "p", "=r6|r7|r8"}, 256, 3},
      {"erasing keeps the mark of the charset in use, and only that",
       {"w\xEF\xBB\xBFsome text\nmore\n", "o", "p", "e", "f\xEF\xBB\xBF", "=", "aafter\n", "p", "=after",
        "c1303", "p", "e", "f"}},
      {"a charset the user picks overrides the mark for one load",
       {"w\xEF\xBB\xBFxyz\n", "o", "p", "=xyz", "c1303", "p", "=\xC3\xAF\xC2\xBB\xC2\xBFxyz", "r", "p", "=xyz"}},
      {"UTF-8 without a mark is read as UTF-8, until the user picks a charset",
       {"wcaf\xC3\xA9\n", "o", "p", "=caf\xC3\xA9", "c1303", "p", "=caf\xC3\x83\xC2\xA9"}},
      {"an ASCII start leaves the choice to the first byte beyond it, even one cut by a chunk's end",
       {"wplain\n", "o", "p", "aprice \xE2\x82", "p", "a\xAC\n", "p", "=plain|price \xE2\x82\xAC"}},
      {"text that is not UTF-8 keeps the fallback", {"wna\xEFve \xE2\x82\xAC\n", "o", "p", "=na\xC3\xAFve \xC3\xA2\xE2\x80\x9A\xC2\xAC"}},
      {"a filter shows only its lines while the file grows, is cut and grows again",
       {"wok 1\nERR a\nok 2\n", "o", "p", "FsERR", "p", "=ERR a", "aERR b\nok 3\nERR c", "p", "=ERR a|ERR b", "a\n", "p",
        "=ERR a|ERR b|ERR c", "w", "p", "=", "aok\nERR d\n", "p", "=ERR d"}},
      {"stacked filters: a line shows when it matches one show filter and no hide filter, while the file grows and is cut",
       {"wERR a\nWARN b\nERR beat\nok\nWARN c\n", "o", "FsERR,sWARN,hbeat", "p", "=WARN b|WARN c",
        "aWARN beat\nERR d\nok\n", "p", "=WARN c|ERR d", "w", "p", "=", "aok\nERR beat\nWARN e\n", "p", "=WARN e", "F",
        "p", "=ERR beat|WARN e"}, 256, 2},
      {"a hiding filter leaves the row limit to the lines it shows, wrapped rows together",
       {"W4", "wabcdefg\nERR1234567\nxyz\nERR\nERR\n", "o", "FhERR", "p", "=abcd|efg|xyz", "FsERR", "p", "=67|ERR|ERR"}, 256, 3},
      {"a filter decides on the first 65,536 units of a line",
       {std::string("w").append(66000, 'x') + "ERR\n" + std::string(4100, 'y') + "ERR z\nERR y\n", "o", "FsERR", "p",
        std::string("=").append(4095, 'y') + "|yyyyyERR z|ERR y"}},
      {"a rewrite to the size seen before a read that found the file growing",
       {"wfirst\n", "o", "p", "asecond\n", "ggrown during the read\n", "p", "wnew 10\nnew 2\n", "p", "=new 10|new 2"}},
      {"the load skips lines the limit would drop again; the view ends the same",
       {"W10", "w" + NumberedLines(0, 1000).append("a wrapped line of thirty chars\n\nlast\npartial"), "o", "p",
        "=line of th|irty chars|||last"}, 256, 5},
      {"earlier rows go above the first, the far end drops, and new lines wait for the way back to the end",
       {"w" + NumberedLines(0, 10), "o", "p", "=line 6|line 7|line 8|line 9", "b", "B1",
        "=line 4|line 5|line 6|line 7", "aline 10\n", "p", "=line 4|line 5|line 6|line 7", "b", "u", "m",
        "=line 0|line 1|line 2|line 3", "d", "B1", "=line 2|line 3|line 4|line 5", "d", "d", "d", "B0",
        "=line 8|line 9|line 10", "aline 11\n", "p", "=line 8|line 9|line 10|line 11", "b", "s", "E", "p", "B0",
        "=line 8|line 9|line 10|line 11"}, 256, 4},
      {"earlier rows that fit leave following going, an unfinished line too",
       {"w" + NumberedLines(0, 6, kLongPrefix.c_str()) + "half", "o", "p", "=" + NumberedRowText(3, 6, kLongPrefix), "b",
        "B0", "=" + NumberedRowText(0, 6, kLongPrefix), "a done\nnext\n", "p",
        "=" + NumberedRowText(0, 6, kLongPrefix) + "|half done|next"}, 1, 9},
      {"the start of the file, then a truncation, then a rotation-free regrowth follow the end again",
       {"w" + NumberedLines(0, 10), "o", "p", "s", "B1", "=line 0|line 1|line 2", "wfresh\n", "p", "B0", "=fresh",
        "anext\n", "p", "=fresh|next"}, 256, 3},
      {"a filter applies to earlier rows; pausing while browsing goes back to the end",
       {"w" + NumberedLines(0, 40, "ok ") + "ERR 1\n" + NumberedLines(0, 40, "ok ") + "ERR 2\n" +
        NumberedLines(0, 40, "ok ") + "ERR 3\n", "o", "FsERR", "p", "=ERR 2|ERR 3", "b", "B1", "=ERR 1|ERR 2",
        "z", "p", "B0", "=ERR 2|ERR 3"}, 256, 2},
      {"rows before the line shown go first when they exceed the limit; earlier rows then come from before them",
       {"w" + NumberedLines(0, 10), "o", "p", "j6,0", "#1", "B1", "=line 5|line 6", "b", "=line 4|line 5", "b",
        "=line 3|line 4"}, 256, 2},
      {"a line longer than the kb limit and the lines limit is shown around the unit asked for, and passed both ways",
       {"W10", "wfirst\n" + std::string(1000, 'x') + "NEEDLE" + std::string(1000, 'y') + "\nlast\n", "o", "p", "=last",
        "j1,1003", "#2", "=xxxxxxxxxx|xxxxxxxxxx|NEEDLEyyyy", "d", "=NEEDLEyyyy|yyyyyyyyyy|yyyyyyyyyy", "j1,0", "#1",
        "=first|xxxxxxxxxx|xxxxxxxxxx", "j2,0", "B0", "=last", "b", "B0", "=yyyyyy|last", "b",
        "=yyyyyyyyyy|yyyyyy|last", "b", "B1", "=yyyyyyyyyy|yyyyyyyyyy|yyyyyy", "d", "B0", "=yyyyyy|last"}, 1, 3},
      {"browsing, a file rewritten past its old size brings the view to the new end",
       {"w" + NumberedLines(0, 10), "o", "p", "s", "B1", "w" + NumberedLines(0, 20, "new "), "p", "B0",
        "=new 17|new 18|new 19"}, 256, 3},
      {"browsing, a file cut back between the bytes counted and its size brings the view to the end",  // over 4 MiB in a poll
       {"w" + NumberedLines(0, 10), "o", "p", "s", "a" + NumberedLines(10, 450000), "p", "B1",
        "w" + NumberedLines(0, 400000), "p", "B0", "=line 399997|line 399998|line 399999"}, 256, 3},
      {"bookmarks stay with their lines through appends, the lines limit, browsing, filters, wrapping and a charset",
       {"w" + NumberedLines(0, 10), "o", "p", "k1", "k3", "K=line 7|line 9", "k3", "K=line 7", "a" + NumberedLines(10, 13),
        "p", "K=", "N", "B1", "^line 7", "K=line 7", "s", "k0", "k2", "K=line 0|line 2", "n", "^line 2", "n", "^line 7",
        "N", "^line 2", "N", "^line 0", "N", "^line 0", "E", "p", "N", "^line 7", "E", "FsNE 2,sNE 7", "p",
        "=line 2|line 7", "K=line 2|line 7", "W4", "r", "p", "=line| 2|line| 7", "K=line|line", "C=line 0|line 2|line 7|", "c1303", "p", "K=line|line",
        "k1", "K=line", "X", "K="}, 256, 4},
      {"a truncation or a rewrite drops the bookmarks",
       {"w" + NumberedLines(0, 6), "o", "p", "k1", "K=line 4", "w" + NumberedLines(0, 5), "p", "=line 2|line 3|line 4",
        "K=", "k0", "K=line 2", "s", "B1", "K=line 2", "wbrand new\n" + NumberedLines(0, 9), "p", "B0", "K=", "s", "K="},
       256, 3},
      {"a stack trace cut off by the start of the tail, of a stretch above or of the stretch after keeps its level",
       {"w2026-01-01 10:00:00 WARN first\n2026-01-01 10:00:01 ERROR boom\n  at a\n  at b\n  at c\n  at d\n", "o", "p",
        "=  at c|  at d", "v44", "b", "=  at b|  at c", "v44", "s", "v34", "d", "=2026-01-01 10:00:01 ERROR boom|  at a",
        "v44", "d", "=  at a|  at b", "v44"}, 256, 2},
      {"a stack trace of 20 KB cut off by the start of the tail keeps its level",
       {"w2026-01-01 10:00:01 ERROR boom\n" + [] {
          std::string trace;
          for (int i = 0; i < 200; ++i) trace += "  at " + std::string(94, 'x') + "\n";
          return trace;
        }(), "o", "p", "v44"}, 256, 2},
      {"two and three writers with interleaved stamps: each line at its place by time, a late one above newer rows",
       {"w10:00:01 a1\n10:00:03 a3\n", ">1", "w10:00:02 b2\n10:00:04 b4\n", "o", "+1", "p", "=10:00:01 a1|10:00:02 b2|10:00:03 a3|10:00:04 b4",
        "i0101", "-2!", "-0!", "b", "B0", ">0", "a10:00:03.500 a35\n", "p", "=10:00:01 a1|10:00:02 b2|10:00:03 a3|10:00:03.500 a35|10:00:04 b4",
        ">2", "w10:00:00 c0\n10:00:05 c5\n", "+2", "p",
        "=10:00:00 c0|10:00:01 a1|10:00:02 b2|10:00:03 a3|10:00:03.500 a35|10:00:04 b4|10:00:05 c5", "i2010012", "h111",
        ">1", "a10:00:06 b6\n", ">0", "a10:00:07 a7\n", "p", "i201001210"}, 256, 2048, kCharsetCurrent, true},
      {"lines without stamps, equal stamps, a stamp going back and zones",
       {"w10:00:01 x\n  at y\n10:00:02 z\n", ">1", "w10:00:01 p\nno stamp\n10:00:02 q\n", "o", "+1", "p",
        "=10:00:01 x|  at y|10:00:01 p|no stamp|10:00:02 z|10:00:02 q", "a09:59:00 early\n", "p",
        "=10:00:01 x|  at y|10:00:01 p|no stamp|10:00:02 z|10:00:02 q|09:59:00 early",
        ">2", "w2026-01-01T10:00:00+01:00 zoned\n", ">3", "w2026-01-01T09:30:00Z utc\n", "o", ">0", "w", "o", "+2", "+3", "p",
        "=2026-01-01T10:00:00+01:00 zoned|2026-01-01T09:30:00Z utc"}, 256, 2048, kCharsetCurrent, true},
      {"the lines limit holds for the view as a whole and its span stays exact",
       {"w10:00:05 a5\n10:00:06 a6\n10:00:07 a7\n10:00:08 a8\n", ">1", "w10:00:01 b1\n10:00:09 b9\n", "o", "+1", "p",
        "=10:00:07 a7|10:00:08 a8|10:00:09 b9", "a10:00:09.500 b95\n", "p", "=10:00:08 a8|10:00:09 b9|10:00:09.500 b95",
        ">2", "w10:00:00 c0\n", "+2", "p", "=10:00:08 a8|10:00:09 b9|10:00:09.500 b95", "-1", "p",
        "=10:00:06 a6|10:00:07 a7|10:00:08 a8", "h11"}, 256, 3, kCharsetCurrent, true},
      {"a view loaded whole starts each file with a share of the limit and loads again when that comes out short",
       {"w10:00:01 a1\n10:00:02 a2\n10:00:03 a3\n10:00:04 a4\n10:00:05 a5\n10:00:06 a6\n10:00:07 a7\n", ">1",
        "w09:00:01 b1\n09:00:02 b2\n", "o", "+1", "p", "=10:00:04 a4|10:00:05 a5|10:00:06 a6|10:00:07 a7", "r", "p",
        "=10:00:04 a4|10:00:05 a5|10:00:06 a6|10:00:07 a7", ">0", "w10:00:01 a1\n10:00:03 a3\n10:00:05 a5\n", ">1",
        "w10:00:02 b2\n10:00:04 b4\n10:00:06 b6\n", "r", "p", "=10:00:03 a3|10:00:04 b4|10:00:05 a5|10:00:06 b6"},
       256, 4, kCharsetCurrent, true},
      {"a view whose rows all gave way to newer ones stays cut at its top when a file is then truncated and rewritten",
       {"w10:00:01 a1\n10:00:02 a2\n", ">1", "w10:00:03 b3\n", "o", "+1", "p", "=10:00:01 a1|10:00:02 a2|10:00:03 b3",
        ">0", "a10:00:04 a4\n10:00:06 a6\n", ">1", "a10:00:05 b5\n", "p", "=10:00:04 a4|10:00:05 b5|10:00:06 a6", "w", "p",
        "=10:00:04 a4|10:00:06 a6", "a10:00:00 b0\n", "p", "=10:00:04 a4|10:00:06 a6"}, 256, 3, kCharsetCurrent, true},
      {"a file truncated and another rotated while the rest go on",
       {"w10:00:01 a1\n10:00:04 a4\n", ">1", "w10:00:02 b2\n", ">2", "w10:00:03 c3\n", "o", "+1", "+2", "p",
        "=10:00:01 a1|10:00:02 b2|10:00:03 c3|10:00:04 a4", ">1", "w10:00:05 fresh b\n", "p",
        "=10:00:01 a1|10:00:03 c3|10:00:04 a4|10:00:05 fresh b", ">2", "y10:00:06 rotated c\n",
        "~10:00:01 a1|10:00:04 a4|10:00:05 fresh b|10:00:06 rotated c", ">0", "a10:00:07 a7\n",
        "~10:00:01 a1|10:00:04 a4|10:00:05 fresh b|10:00:06 rotated c|10:00:07 a7"}, 256, 2048, kCharsetCurrent, true},
      {"UTF-8, UTF-16 and a code page in one view, the charset chosen for the caret row's file",
       {"w\xEF\xBB\xBF" "10:00:01 caf\xC3\xA9\n", ">1", "w" + kMark16 + Utf16("10:00:02 wide\n"), ">2", "w10:00:03 na\xEFve\n", "o",
        "+1", "+2", "p", "=10:00:01 caf\xC3\xA9|10:00:02 wide|10:00:03 na\xC3\xAFve", "u", "c1303", "p", "i012",
        "=\xC3\xAF\xC2\xBB\xC2\xBF" "10:00:01 caf\xC3\x83\xC2\xA9|10:00:02 wide|10:00:03 na\xC3\xAFve"}},
      {"browsing a merged view back and forth over a span where one file is silent, its start, and back to the end",
       {"w" + NumberedLines(0, 10, "10:00:0"), ">1", "w10:00:00.500 b05\n10:00:09.500 b95\n", "o", "+1", "p",
        "=10:00:07|10:00:08|10:00:09|10:00:09.500 b95", "b", "B1", "=10:00:05|10:00:06|10:00:07|10:00:08", "b",
        "=10:00:03|10:00:04|10:00:05|10:00:06", "b", "b", "=10:00:00|10:00:00.500 b05|10:00:01|10:00:02", "i0100", "b",
        "=10:00:00|10:00:00.500 b05|10:00:01|10:00:02", "d", "=10:00:01|10:00:02|10:00:03|10:00:04", "E", "p", "B0",
        "=10:00:07|10:00:08|10:00:09|10:00:09.500 b95", "s", "B1", "=10:00:00|10:00:00.500 b05|10:00:01|10:00:02",
        "d", "d", "d", "=10:00:05|10:00:06|10:00:07|10:00:08", "B1", "d", "B0", "=10:00:07|10:00:08|10:00:09|10:00:09.500 b95", "a10:00:10 b10\n", "p",
        "=10:00:08|10:00:09|10:00:09.500 b95|10:00:10 b10"}, 256, 4, kCharsetCurrent, true},
      {"bookmarks in a merged view: each on its own file's line, next and previous in time order, copied in that order",
       {"w" + NumberedLines(0, 10, "10:00:0"), ">1", "w10:00:00.500 b05\n10:00:09.500 b95\n", "o", "+1", "p", "k3", "k0",
        "K=10:00:07|10:00:09.500 b95", "s", "=10:00:00|10:00:00.500 b05|10:00:01|10:00:02", "k1", "K=10:00:00.500 b05",
        "n", "^10:00:00.500 b05", "n", "^10:00:07", "n", "^10:00:09.500 b95", "N", "^10:00:07", "N", "^10:00:00.500 b05",
        "N", "^10:00:00.500 b05", "C=10:00:00.500 b05|10:00:07|10:00:09.500 b95|", "X", "K="},
       256, 4, kCharsetCurrent, true},
      {"rows narrower than a stamp's reach wait for the rest of their line's head",
       {"W10", "w10:00:05 a\n", ">1", "w[worker-1] ", "o", "+1", "p", "=2026-01-01| 10:00:05 |a", "a2026-01-01 10:00:09 b\n",
        "p", "=2026-01-01| 10:00:05 |a|[worker-1]| 2026-01-0|1 10:00:09| b"}, 256, 2048, kCharsetCurrent, true},
      {"a file named on the command line that is not there yet joins once it is",
       {"w10:00:01 a1\n", "?5", "p", "=10:00:01 a1", "h10", ">5", "w10:00:00 early\n10:00:02 b2\n",
        "~10:00:00 early|10:00:01 a1|10:00:02 b2", "h11"}, 256, 2048, kCharsetCurrent, true},
      {"a large tail without line feeds loads promptly",  // not one byte per read
       {std::string("w") + std::string(40u << 20, 'q') + "\nlast\n", "o", "p", "=last"}, 16384},
  };
  std::string written;
  int shownRow = -1;
  auto fileOf = [&](int index) { return index ? directory + L"\\app" + std::to_wstring(index) + L".log" : path; };
  for (const Scenario& s : scenarios) {
    SCOPED_TRACE(s.name);
    std::wstring writing = path;
    CloseFile();
    SetScrollLock(false);
    AppSettings.kbLimit = s.kbLimit, AppSettings.linesLimit = s.linesLimit, AppSettings.wrapLines = 0;
    FollowedCharset() = CharsetState{}, FollowedCharset().fallback = s.fallback;
    for (const std::string& given : s.steps) {
      std::string step = s.dated && !given.empty() ? given[0] + Dated(given.substr(1)) : given;
      SCOPED_TRACE(testing::PrintToString(step));
      std::string rest = step.substr(1);
      switch (step[0]) {
        case 'w': WriteBytes(writing, rest), written = rest; break;
        case 'a': AppendBytes(writing, rest), written += rest; break;
        case '>': writing = fileOf(std::stoi(rest)); break;
        case '+': EXPECT_TRUE(AddFileToView(fileOf(std::stoi(rest)).c_str())); break;
        case '?': {
          std::wstring first = path, added = fileOf(std::stoi(rest));
          const wchar_t* names[] = {first.c_str(), added.c_str()};
          EXPECT_TRUE(OpenFiles(names, 2));
          break;
        }
        case '-': EXPECT_EQ(RemoveFileFromView(uint32_t(std::stoi(rest))), rest.back() != '!'); break;
        case 'y':
          ASSERT_TRUE(MoveFileExW(writing.c_str(), (writing + L".old").c_str(), MOVEFILE_REPLACE_EXISTING));
          WriteBytes(writing, rest);
          break;
        case '~': EXPECT_TRUE(WaitForRows(RowsOf(rest))) << testing::PrintToString(Rows()); break;
        case 'h': {
          std::string open;
          for (uint32_t i = 0; i < ViewFileCount(); ++i) open += ViewFileOpen(i) ? '1' : '0';
          EXPECT_EQ(open, rest);
          break;
        }
        case 'i': {
          std::string files;
          for (size_t i = 0; i < Rows().size(); ++i) files += char('0' + int(ViewRowPlace(i).file));
          EXPECT_EQ(files, rest);
          break;
        }
        case 'j': {
          size_t line = std::stoul(rest), start = 0;
          for (size_t i = 0; i < line; ++i) start = written.find('\n', start) + 1;
          shownRow = ShowLineAt(start, std::stoul(rest.substr(rest.find(',') + 1)), 4);
          break;
        }
        case '#': EXPECT_EQ(shownRow, std::stoi(rest)); break;
        case 'o': Open(path); break;
        case 'p': Poll(); break;
        case 'r': LoadFile(); break;
        case 'z': TogglePause(); break;
        case 'L': SetScrollLock(rest == "1"); break;
        case 'c': ChooseCharset(std::stoi(rest)); break;
        case 'e': EXPECT_TRUE(EraseFileContent()); break;
        case 'W': AppSettings.wrapLines = 1, AppSettings.rowLength = uint32_t(std::stoi(rest)); break;
        case 'F': {
          LineFilters filters{};  // "F" alone clears; "Fsa,hb": show a, hide b
          for (size_t at = 0; at < rest.size();) {
            size_t end = std::min(rest.find(',', at), rest.size());
            LineFilter& filter = filters.items[filters.count++];
            filter.hide = rest[at] == 'h';
            lstrcpynW(AsWide(filter.pattern), Widen(rest.substr(at + 1, end - at - 1)).c_str(), int(kFilterPatternUnits));
            at = end + 1;
          }
          SetLineFilters(filters);
          LoadFile();
          break;
        }
        case 'g': growPath = path, growBytes = rest, engineHost.refreshSize = GrowOnce; break;
        case 'f': EXPECT_EQ(ReadBytes(path), rest); break;
        case 'b': LoadEarlierRows(); break;
        case 'd':
          SendMessageW(engineHost.view, LB_SETCARETINDEX, WPARAM(Rows().size() - 1), FALSE);
          SendMessageW(engineHost.view, WM_KEYDOWN, VK_DOWN, 0);
          break;
        case 'u': case 'm':
          SendMessageW(engineHost.view, LB_SETCARETINDEX, 0, FALSE);
          SendMessageW(engineHost.view, LB_SETTOPINDEX, 0, 0);
          if (step[0] == 'u') SendMessageW(engineHost.view, WM_KEYDOWN, VK_UP, 0);
          else SendMessageW(engineHost.view, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
          break;
        case 's': LoadStartOfFile(); break;
        case 'E': FollowEndAgain(); break;
        case 'B': EXPECT_EQ(Browsing(), rest == "1"); break;
        case '=': EXPECT_EQ(Rows(), RowsOf(rest)); break;
        case 'k': ToggleBookmarkOfRow(std::stoi(rest)); break;
        case 'n': case 'N': GoToBookmark(step[0] == 'n'); break;
        case 'X': ClearBookmarks(); break;
        case '^': EXPECT_EQ(Rows().at(size_t(SendMessageW(engineHost.view, LB_GETCARETINDEX, 0, 0))), Widen(rest)); break;
        case 'C': {
          CopyBookmarkedLines(window);
          std::wstring copied;
          for (wchar_t c : Widen(rest.substr(1))) copied += c == L'|' ? std::wstring(L"\r\n") : std::wstring(1, c);
          EXPECT_EQ(ClipboardText(window), copied);
          break;
        }
        case 'v': {
          std::string levels;
          for (size_t i = 0; i < Rows().size(); ++i) levels += char('0' + int(ViewRowPlace(i).level));
          EXPECT_EQ(levels, rest);
          break;
        }
        case 'K': {
          RowList marked, rows = Rows();
          for (size_t i = 0; i < rows.size(); ++i)
            if (ViewRowPlace(i).unit == 0 && ViewLineBookmarked(ViewRowPlace(i))) marked.push_back(rows[i]);
          EXPECT_EQ(marked, RowsOf(rest.substr(1)));
          break;
        }
      }
    }
  }
}

// The rows a text makes (blank rows not cut), each with its line and the unit of that line it starts at.
struct ExpectedRow { std::wstring text; size_t line, unit; };
std::vector<ExpectedRow> RowsOfText(const std::wstring& text, size_t capacity) {
  std::vector<ExpectedRow> rows;
  std::wstring row;
  size_t line = 0, unit = 0, start = 0;
  for (wchar_t c : text) {
    if (c == L'\n') {
      rows.push_back({row, line++, start});
      row.clear(), unit = start = 0;
      continue;
    }
    ++unit;
    if (c == L'\r') continue;
    if (c == L'\t') row.resize(std::min((row.size() & ~size_t(7)) + 8, capacity), L' ');
    else row += c;
    if (row.size() >= capacity) rows.push_back({row, line, start}), row.clear(), start = unit;
  }
  return rows;
}

std::string Encoded(const std::wstring& text, bool wide) {
  if (wide) return kMark16 + std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
  std::string bytes(size_t(WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr)), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), bytes.data(), int(bytes.size()), nullptr, nullptr);
  return bytes;
}

// Browsing back to the start and forward to the end, every view is a run of the rows the file makes, lines and units
// too: characters of two to four bytes (a surrogate pair in UTF-16) cross the edges of the reads at all their offsets,
// and a line longer than the kb limit and the lines limit is passed both ways, its rows loaded part by part.
TEST_F(FollowerTest, BrowsingBothWaysKeepsEveryRowWhole) {
  std::wstring characters, longLine;
  for (int i = 0; i < 900; ++i) {
    characters += std::to_wstring(i) + L" ";
    for (int k = 0; k < 180 + i % 7; ++k) characters += L"\u00E9\u20AC\U0001F600";
    characters += L"\n";
  }
  for (int i = 0; i < 20000; ++i) longLine += L"k=" + std::to_wstring(i) + (i % 37 ? L"; " : L";\t\u20AC ");
  std::wstring before = Widen(NumberedLines(0, 300, "WARN before ")), after = Widen(NumberedLines(0, 300, "DEBUG after "));
  const struct { const char* name; std::wstring text; bool wide; uint32_t wrap, kbLimit, linesLimit; } cases[] = {
      {"characters cut by the reads, UTF-8", characters, false, 0, 200, 120},
      {"characters cut by the reads, UTF-16", characters, true, 0, 200, 120},
      {"a line of 250,000 units wrapped at 80", before + longLine + L"\n" + after, false, 80, 64, 120},
      {"the same in UTF-16, the long line last", before + longLine + L"\n", true, 80, 64, 100},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CloseFile();
    FollowedCharset() = CharsetState{};
    AppSettings.kbLimit = c.kbLimit, AppSettings.linesLimit = c.linesLimit;
    AppSettings.wrapLines = c.wrap != 0, AppSettings.rowLength = c.wrap;
    std::vector<ExpectedRow> expected = RowsOfText(c.text, c.wrap ? c.wrap : kMaxRowUnits);
    std::map<std::wstring, size_t> index;
    for (size_t i = 0; i < expected.size(); ++i) ASSERT_TRUE(index.emplace(expected[i].text, i).second) << i;
    std::string bytes = Encoded(c.text, c.wide);
    WriteBytes(path, bytes);
    // Every seventh line bookmarked from the start, kept in the stream as a restart finds it.
    std::wstring marks;
    for (size_t line = 0, start = 0, at = 0; start < c.text.size(); ++line, start = c.text.find(L'\n', start) + 1) {
      size_t offset = c.wide ? 2 + 2 * start : (at += line ? Encoded(c.text.substr(0, start), false).size() - at : 0);
      uint64_t hash = LineHeadHash(reinterpret_cast<const uint8_t*>(bytes.data()) + offset, bytes.size() - offset,
                                   c.wide ? kCharsetUtf16Le : kCharsetUtf8);
      wchar_t value[64];
      if (line % 7 == 3) swprintf(value, 64, L"%zu=%zu|%llx", line, offset, (unsigned long long)hash), marks += value + std::wstring(1, 0);
    }
    WritePrivateProfileSectionW(L"Bookmarks", marks.c_str(), (path + L":Kavex.Quillon.Properties").c_str());
    Open(path);
    Poll();
    // The view's rows are expected[first, first + size); its first at the place it says.
    auto firstRow = [&] {
      RowList rows = Rows();
      EXPECT_FALSE(rows.empty());
      EXPECT_LE(rows.size(), c.linesLimit);
      if (rows.empty() || !index.count(rows[0])) return size_t(0);
      size_t first = index[rows[0]];
      EXPECT_LE(first + rows.size(), expected.size());
      uint32_t levelLines[kLogLevels] = {};  // the view's count of lines per level, kept as rows come and go
      for (size_t i = 0; i < rows.size() && first + i < expected.size(); ++i) {
        EXPECT_EQ(rows[i], expected[first + i].text) << first + i;
        RowPlace place = ViewRowPlace(i);
        EXPECT_EQ(place.unit, expected[first + i].unit) << first + i;
        EXPECT_EQ(place.line - ViewRowPlace(0).line, expected[first + i].line - expected[first].line);
        levelLines[size_t(place.level)] += place.unit == 0 && place.levelStated;
        EXPECT_EQ(place.unit == 0 && ViewLineBookmarked(place), place.unit == 0 && expected[first + i].line % 7 == 3);
      }
      EXPECT_TRUE(std::equal(levelLines, levelLines + kLogLevels, ViewLevelLines()));
      return first;
    };
    int loads = 0;
    // A last line longer than the kb limit leaves the tail empty: Up still goes on.
    for (size_t first = Rows().empty() ? expected.size() : firstRow(); first > 0 && ++loads < 400; first = firstRow())
      ASSERT_TRUE(LoadEarlierRows());
    ASSERT_FALSE(Rows().empty());
    EXPECT_EQ(Rows().front(), expected.front().text);
    EXPECT_GT(loads, 10);
    // And forward again, to the end, where following takes over.
    for (loads = 0; Browsing() && ++loads < 400; firstRow()) ASSERT_TRUE(LoadLaterRows());
    EXPECT_FALSE(Browsing());
    ASSERT_FALSE(Rows().empty());
    EXPECT_EQ(Rows().back(), expected.back().text);
  }
}

TEST_F(FollowerTest, TimerFollowsGrowthAndRotationButNotDeletion) {
  WriteBytes(path, "old 1\n");
  Open(path);
  AppendBytes(path, "old 2\n");
  ASSERT_TRUE(WaitForRows({L"old 1", L"old 2"}));
  // Browsing the old file, the rotation brings the view to the new one's end.
  AppSettings.linesLimit = 1;
  LoadStartOfFile();
  AppSettings.linesLimit = Settings{}.linesLimit;
  ASSERT_TRUE(Browsing());
  ToggleBookmarkOfRow(0);  // stays with the old file
  ASSERT_TRUE(MoveFileW(path.c_str(), (path + L".1").c_str()));
  WriteBytes(path, "new 1\n");
  EXPECT_TRUE(WaitForRows({L"new 1"}));
  EXPECT_FALSE(Browsing());
  EXPECT_TRUE(FileBookmarks().items.empty());
  wchar_t pane[MAX_PATH] = L"";  // reopened by its full path, yet one spelling: that of the first open
  SendMessageW(engineHost.statusBar, SB_GETTEXTW, 0, LPARAM(pane));
  EXPECT_EQ(std::wstring(AppSettings.history[0]) + L"|" + AppSettings.history[1] + L"|" + pane, path + L"||" + path);
  AppendBytes(path + L".1", "late write to the old file\n");
  AppendBytes(path, "new 2\n");
  EXPECT_TRUE(WaitForRows({L"new 1", L"new 2"}));
  ASSERT_TRUE(DeleteFileW(path.c_str()));
  // The timer may fall behind on a busy machine: a poll made a whole interval
  // after the deletion is sure to check the file's identity.
  for (DWORD deleted = GetTickCount(); GetTickCount() - deleted <= kIdentityCheckInterval;) PumpMessages(20);
  Poll();
  EXPECT_TRUE(FileIsOpen() && KillTimer(window, kPollTimer));  // still followed
  EXPECT_EQ(Rows(), (RowList{L"new 1", L"new 2"}));
}

// A log on a share (\\host\logs under Wine is a folder of the prefix's dosdevices\unc), named with a local one: not
// there at first, it joins once the share is; the share goes away and comes back, and its lines still merge in.
TEST_F(FollowerTest, AShareThatVanishesAndComesBackJoinsTheViewAgain) {
  wchar_t prefix[MAX_PATH];
  DWORD length = GetEnvironmentVariableW(L"WINEPREFIX", prefix, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) GTEST_SKIP() << "no Wine prefix to hold a share";
  std::wstring host = L"quillon-test-" + std::to_wstring(GetCurrentProcessId());
  std::wstring uncFolder = L"Z:" + std::wstring(prefix) + L"/dosdevices/unc", hostFolder = uncFolder + L"/" + host;
  std::replace(uncFolder.begin(), uncFolder.end(), L'/', L'\\');
  std::replace(hostFolder.begin(), hostFolder.end(), L'/', L'\\');
  CreateDirectoryW(uncFolder.c_str(), nullptr);  // kept for the prefix's other runs
  std::wstring share = hostFolder + L"\\logs", away = hostFolder + L"\\logs-away";
  std::wstring shared = L"\\\\" + host + L"\\logs\\app.log";
  auto dated = [](const char* rows) { return RowsOf(Dated(rows)); };
  WriteBytes(path, Dated("10:00:01 local 1\n10:00:04 local 4\n"));
  const wchar_t* names[] = {path.c_str(), shared.c_str()};
  ASSERT_TRUE(OpenFiles(names, 2));
  EXPECT_TRUE(OnShare(shared.c_str()));
  EXPECT_FALSE(ViewFileOpen(1));
  ASSERT_TRUE(CreateDirectoryW(hostFolder.c_str(), nullptr) && CreateDirectoryW(share.c_str(), nullptr));
  WriteBytes(share + L"\\app.log", Dated("10:00:02 shared 2\n10:00:03 shared 3\n"));
  EXPECT_TRUE(WaitForRows(dated("10:00:01 local 1|10:00:02 shared 2|10:00:03 shared 3|10:00:04 local 4")));
  ASSERT_TRUE(MoveFileW(share.c_str(), away.c_str()));
  for (DWORD gone = GetTickCount(); GetTickCount() - gone <= kIdentityCheckInterval;) PumpMessages(20);  // looked for
  AppendBytes(path, Dated("10:00:05 local 5\n"));
  EXPECT_TRUE(WaitForRows(dated("10:00:01 local 1|10:00:02 shared 2|10:00:03 shared 3|10:00:04 local 4|10:00:05 local 5")));
  ASSERT_TRUE(MoveFileW(away.c_str(), share.c_str()));
  AppendBytes(shared, Dated("10:00:06 shared 6\n"));
  EXPECT_TRUE(WaitForRows(dated(
      "10:00:01 local 1|10:00:02 shared 2|10:00:03 shared 3|10:00:04 local 4|10:00:05 local 5|10:00:06 shared 6")));
  EXPECT_TRUE(ViewFileOpen(1) && !ViewFileStalled(1));
  CloseFile();
  RemoveDirectoryTree(hostFolder);
}

// A long read yields to waiting messages: a pause, or a reload while paused, must not leave that read half done.
TEST_F(FollowerTest, PauseDuringALongReadLeavesAConsistentView) {
  AppSettings.kbLimit = 65535, AppSettings.cutEmpty = 1;  // no skipping ahead: all 50 MB are read
  WriteBytes(path, NumberedLines(0, 4000000));
  auto readHandsBack = [&] {
    PostMessageW(window, WM_NULL, 0, 0);
    PollFile();
    return PollContinues();
  };
  auto finishedWhilePaused = [&] {
    for (int i = 0; i < 10000 && PollContinues(); ++i) PollFile();
    return !PollContinues() && !ViewRedrawSuspended() && !IsWindowVisible(engineHost.progress) &&
           FollowingPaused() && !Rows().empty();
  };
  Open(path);
  ASSERT_TRUE(readHandsBack());
  TogglePause();
  EXPECT_FALSE(PollContinues());  // the pause ends the read at once
  EXPECT_TRUE(finishedWhilePaused());
  TogglePause();
  Poll();
  EXPECT_EQ(Rows(), NumberedRows(4000000 - 2048, 4000000));
  TogglePause();
  LoadFile();
  ASSERT_TRUE(readHandsBack());
  EXPECT_TRUE(finishedWhilePaused());
  EXPECT_EQ(Rows(), NumberedRows(4000000 - 2048, 4000000));
  TogglePause();
  LoadFile();
  ASSERT_TRUE(readHandsBack());
  CloseFile();  // closed in the middle of a read: nothing of it stays
  EXPECT_TRUE(!PollContinues() && !ViewRedrawSuspended() && !IsWindowVisible(engineHost.progress) && Rows().empty());
}

TEST_F(FollowerTest, TrimKeepsTheSelectionOfSurvivingRows) {
  AppSettings.linesLimit = 100;
  for (int trimmed : {10, 90}) {
    SCOPED_TRACE(trimmed);
    WriteBytes(path, NumberedLines(0, 100, "old "));
    Open(path);
    Poll();
    for (int row : {-1, 95, 5}) SendMessageW(engineHost.view, LB_SETSEL, row >= 0, row);  // only 5 and 95
    AppendBytes(path, NumberedLines(0, trimmed, "new "));
    Poll();
    Poll();  // an unchanged file leaves the view as it is
    ASSERT_EQ(Rows().size(), 100u);
    EXPECT_EQ(Rows()[size_t(95 - trimmed)], L"old 95");
    EXPECT_EQ(SendMessageW(engineHost.view, LB_GETSELCOUNT, 0, 0), 1);
    EXPECT_GT(SendMessageW(engineHost.view, LB_GETSEL, WPARAM(95 - trimmed), 0), 0);
  }
}

TEST_F(FollowerTest, TailStartsAtTheFirstWholeLineOfTheLastKilobytes) {
  AppSettings.linesLimit = 65535;
  std::string bytes = NumberedLines(0, 30000).substr(0, 300 * 1024 - 1) + "\n";
  WriteBytes(path, bytes);
  size_t first = bytes.find('\n', 300 * 1024 - 256 * 1024) + 1;
  Open(path);
  Poll();
  ASSERT_FALSE(Rows().empty());
  EXPECT_EQ(Rows().front(), Widen(bytes.substr(first, bytes.find('\n', first) - first)));
  // A smaller file opened next is no truncation of the first one.
  WriteBytes(directory + L"\\small.log", NumberedLines(0, 25000, "small "));  // 288,890 bytes
  Open(directory + L"\\small.log");
  Poll();
  ASSERT_FALSE(Rows().empty());
  EXPECT_NE(Rows().front(), L"small 0");
  EXPECT_EQ(Rows().back(), L"small 24999");
  // Counted back across several reads.
  std::string small = NumberedLines(0, 25000, "small ");
  EXPECT_EQ(StartOfLastLines(FollowedFileHandle(), 0, small.size(), kCharsetUtf8, 20000),
            small.find("small 5000\n"));
  // Lines counted back in whole UTF-16 units.
  WriteBytes(path, kMark16 + Utf16("a\nb\nc\n"));
  Open(path);
  HANDLE handle = FollowedFileHandle();
  EXPECT_EQ(StartOfLastLines(handle, 2, 14, kCharsetUtf16Le, 2), 6u);
  EXPECT_EQ(StartOfLastLines(handle, 2, 14, kCharsetUtf16Le, 3), 2u);
  EXPECT_EQ(StartOfLastLines(handle, 2, 15, kCharsetUtf16Le, 1), 10u);
  EXPECT_EQ(StartOfLastLines(handle, 4, 14, kCharsetUtf16Le, 2), 6u);  // a line break first in the read
  // Only plain disk files: a folder or a pipe is refused and the file followed stays.
  HANDLE pipe = CreateNamedPipeW(L"\\\\.\\pipe\\quillon_follower_test", PIPE_ACCESS_INBOUND, 0, 1, 0, 0, 0, nullptr);
  for (const std::wstring& name : {directory, std::wstring(L"\\\\.\\pipe\\quillon_follower_test")}) {
    EXPECT_FALSE(OpenFile(name.c_str())) << testing::PrintToString(name);
    EXPECT_EQ(FollowedFileHandle(), handle);
  }
  CloseHandle(pipe);
}

// A name opened takes the long-path form; the history and the file pane drop the prefix where the path opens without.
TEST(PathForms, FullPathsTakeTheLongPathPrefixAndShownPathsDropItWhereNotNeeded) {
  const std::wstring longest = L"C:\\logs\\" + std::wstring(247, L'n') + L".log";  // MAX_PATH - 1 units
  const std::wstring longestShare = L"\\\\server\\share\\" + std::wstring(240, L'n') + L".log";  // as long
  const struct { std::wstring full, shown; } cases[] = {
      {L"\\\\?\\C:\\logs\\app.log", L"C:\\logs\\app.log"},
      {L"\\\\?\\UNC\\server\\share\\app.log", L"\\\\server\\share\\app.log"},
      {L"\\\\?\\" + longest, longest}, {L"\\\\?\\" + longest + L"x", L"\\\\?\\" + longest + L"x"},
      {L"\\\\?\\UNC" + longestShare.substr(1), longestShare},
      {L"\\\\?\\UNC" + longestShare.substr(1) + L"x", L"\\\\?\\UNC" + longestShare.substr(1) + L"x"},
      {L"\\\\?\\C:\\logs\\app.log.", L"\\\\?\\C:\\logs\\app.log."},  // without the prefix: another file
      {L"\\\\?\\C:\\logs\\..\\app.log", L"\\\\?\\C:\\logs\\..\\app.log"},
      {L"\\\\?\\Volume{0}\\app.log", L"\\\\?\\Volume{0}\\app.log"}, {L"C:\\logs\\app.log", L"C:\\logs\\app.log"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.full));
    wchar_t shown[kPathUnits];
    ShownPathOf(c.full.c_str(), shown, kPathUnits);
    EXPECT_EQ(shown, c.shown);
  }
  const std::pair<std::wstring, std::wstring> names[] = {
      {L"\\\\server\\share\\x.log", L"\\\\?\\UNC\\server\\share\\x.log"},
      {L"C:\\logs\\..\\a.log", L"\\\\?\\C:\\a.log"},
      {L"C:\\" + std::wstring(kPathUnits, L'a'), L"(too long)"}};
  for (const auto& [name, expected] : names) {
    static wchar_t out[kPathUnits];
    EXPECT_EQ(FullPathOf(name.c_str(), out, kPathUnits) ? std::wstring(out) : L"(too long)", expected);
  }
}

// A call on a share that does not return is cut off after about 100 ms (a pipe no one writes to stands in for a share
// that stopped answering); one that returns is left alone; shares are told by their paths.
TEST(IoWatch, ACallThatDoesNotReturnIsCutOffAndSharesAreToldByTheirPaths) {
  for (const auto& [path, share] : {std::pair(L"\\\\?\\UNC\\host\\logs\\a.log", true), std::pair(L"\\\\host\\logs\\a.log", true),
                                    std::pair(L"\\\\?\\C:\\logs\\a.log", false), std::pair(L"C:\\logs\\a.log", false)})
    EXPECT_EQ(OnShare(path), share) << testing::PrintToString(std::wstring(path));
  HANDLE reader, writer;
  ASSERT_TRUE(CreatePipe(&reader, &writer, nullptr, 0));
  StartIoWatch();
  DWORD got = 0, written = 0;
  char byte;
  ULONGLONG began = GetTickCount64();
  BeginWatchedIo();
  EXPECT_FALSE(ReadFile(reader, &byte, 1, &got, nullptr));
  EXPECT_FALSE(EndWatchedIo());
  EXPECT_GE(GetTickCount64() - began, kSlowIoMs - 20);
  EXPECT_TRUE(WriteFile(writer, "x", 1, &written, nullptr));
  BeginWatchedIo();
  EXPECT_TRUE(ReadFile(reader, &byte, 1, &got, nullptr) && byte == 'x');
  EXPECT_TRUE(EndWatchedIo());
  StopIoWatch();
  CloseHandle(reader), CloseHandle(writer);
}

}  // namespace
