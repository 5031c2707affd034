// fmdriver: the end-to-end tests' hands and eyes on the Windows side.
//
// The Python tests run this console program under wine64 (in the same prefix
// and wineserver as the program under test) to read windows and to give the
// program keyboard and mouse input the way a person would. Each command prints
// exactly one JSON value on stdout (`run` prints one per line as things
// happen); a bad handle or argument prints {"error":"..."} and exits 1.
//
// Texts of windows are given as hex of their ANSI bytes: the program works in
// code page 936 and the tests compare bytes, so nothing is converted on the way.
// The driver must run with the same LC_ALL as the program for that to hold
// (cross-process WM_GETTEXT passes through Unicode in Wine).

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// JSON building

const char kHexDigits[] = "0123456789abcdef";

// A JSON string literal of UTF-16 text, as plain ASCII (\uXXXX for the rest),
// so the output never depends on the console's code page.
std::string JsonString(const std::wstring& s) {
  std::string out = "\"";
  for (wchar_t wc : s) {
    unsigned c = static_cast<unsigned>(wc) & 0xFFFFu;
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c >= 0x7F) {
          out += "\\u";
          out += kHexDigits[(c >> 12) & 15];
          out += kHexDigits[(c >> 8) & 15];
          out += kHexDigits[(c >> 4) & 15];
          out += kHexDigits[c & 15];
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += "\"";
  return out;
}

// Bytes taken one by one as code points 0..255 (messages of our own are ASCII).
std::string JsonStringBytes(const std::string& s) {
  std::wstring w;
  for (unsigned char c : s) w += static_cast<wchar_t>(c);
  return JsonString(w);
}

std::string Hex(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    out += kHexDigits[c >> 4];
    out += kHexDigits[c & 15];
  }
  return out;
}

std::string Num(long long v) {
  char buf[32];
  snprintf(buf, sizeof buf, "%lld", v);
  return buf;
}

std::string UNum(unsigned long long v) {
  char buf[32];
  snprintf(buf, sizeof buf, "%llu", v);
  return buf;
}

class JsonObject {
 public:
  JsonObject& Raw(const char* key, const std::string& json) {
    text_ += first_ ? "" : ",";
    first_ = false;
    text_ += "\"";
    text_ += key;
    text_ += "\":";
    text_ += json;
    return *this;
  }
  JsonObject& Int(const char* key, long long v) { return Raw(key, Num(v)); }
  JsonObject& UInt(const char* key, unsigned long long v) { return Raw(key, UNum(v)); }
  JsonObject& Bool(const char* key, bool v) { return Raw(key, v ? "true" : "false"); }
  JsonObject& Str(const char* key, const std::wstring& v) { return Raw(key, JsonString(v)); }
  JsonObject& Bytes(const char* key, const std::string& v) { return Raw(key, JsonStringBytes(v)); }
  std::string Done() const { return text_ + "}"; }

 private:
  std::string text_ = "{";
  bool first_ = true;
};

std::string JsonArray(const std::vector<std::string>& items) {
  std::string out = "[";
  for (size_t i = 0; i < items.size(); ++i) {
    if (i) out += ",";
    out += items[i];
  }
  return out + "]";
}

void PrintLine(const std::string& json) {
  fwrite(json.data(), 1, json.size(), stdout);
  fputc('\n', stdout);
  fflush(stdout);
}

int Fail(const std::string& message) {
  PrintLine(JsonObject().Bytes("error", message).Done());
  return 1;
}

// ---------------------------------------------------------------------------
// Argument parsing

// Decimal (optionally negative) or 0x hex; the whole text must be a number.
bool ParseNumber(const char* text, long long* value) {
  if (!text || !*text) return false;
  bool negative = false;
  const char* p = text;
  if (*p == '-') {
    negative = true;
    ++p;
  }
  if (!*p) return false;
  int base = 10;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    base = 16;
    p += 2;
    if (!*p) return false;
  }
  unsigned long long v = 0;
  for (; *p; ++p) {
    int d;
    if (*p >= '0' && *p <= '9') {
      d = *p - '0';
    } else if (base == 16 && *p >= 'a' && *p <= 'f') {
      d = *p - 'a' + 10;
    } else if (base == 16 && *p >= 'A' && *p <= 'F') {
      d = *p - 'A' + 10;
    } else {
      return false;
    }
    if (d >= base) return false;
    unsigned long long next = v * static_cast<unsigned>(base) + static_cast<unsigned>(d);
    if (next / static_cast<unsigned>(base) != v) return false;  // overflow
    v = next;
  }
  *value = negative ? -static_cast<long long>(v) : static_cast<long long>(v);
  return true;
}

struct NamedValue {
  const char* name;
  long long value;
};

// Message names the tests use often; anything else is given as a number.
const NamedValue kMessages[] = {
    {"WM_NULL", 0x0000},        {"WM_SIZE", 0x0005},        {"WM_ACTIVATE", 0x0006},
    {"WM_SETFOCUS", 0x0007},    {"WM_PAINT", 0x000F},       {"WM_CLOSE", 0x0010},
    {"WM_QUERYENDSESSION", 0x0011}, {"WM_QUIT", 0x0012},    {"WM_ENDSESSION", 0x0016},
    {"WM_KEYDOWN", 0x0100},     {"WM_KEYUP", 0x0101},       {"WM_CHAR", 0x0102},
    {"WM_SYSKEYDOWN", 0x0104},  {"WM_SYSKEYUP", 0x0105},    {"WM_COMMAND", 0x0111},
    {"WM_SYSCOMMAND", 0x0112},  {"WM_TIMER", 0x0113},       {"WM_LBUTTONDOWN", 0x0201},
    {"WM_LBUTTONUP", 0x0202},   {"BM_CLICK", 0x00F5},       {"WM_USER", 0x0400},
    {"WM_APP", 0x8000},
};

bool ParseMessage(const char* text, long long* value) {
  if (ParseNumber(text, value)) return true;
  for (const NamedValue& m : kMessages) {
    if (lstrcmpiA(text, m.name) == 0) {
      *value = m.value;
      return true;
    }
  }
  return false;
}

struct KeyName {
  const char* name;
  WORD vk;
  bool extended;
};

const KeyName kKeys[] = {
    {"ESCAPE", VK_ESCAPE, false}, {"ESC", VK_ESCAPE, false},   {"TAB", VK_TAB, false},
    {"RETURN", VK_RETURN, false}, {"ENTER", VK_RETURN, false}, {"SPACE", VK_SPACE, false},
    {"BACK", VK_BACK, false},     {"BACKSPACE", VK_BACK, false}, {"DELETE", VK_DELETE, true},
    {"INSERT", VK_INSERT, true},  {"HOME", VK_HOME, true},     {"END", VK_END, true},
    {"PRIOR", VK_PRIOR, true},    {"PAGEUP", VK_PRIOR, true},  {"NEXT", VK_NEXT, true},
    {"PAGEDOWN", VK_NEXT, true},  {"LEFT", VK_LEFT, true},     {"RIGHT", VK_RIGHT, true},
    {"UP", VK_UP, true},          {"DOWN", VK_DOWN, true},     {"APPS", VK_APPS, true},
};

// ESCAPE TAB RETURN SPACE ..., F1-F12, a letter or digit, or a virtual-key
// code as a number.
bool ParseKey(const char* text, WORD* vk, bool* extended) {
  *extended = false;
  if (!text || !*text) return false;
  if (!text[1]) {
    char c = text[0];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
      *vk = static_cast<WORD>(c);
      return true;
    }
    return false;
  }
  for (const KeyName& k : kKeys) {
    if (lstrcmpiA(text, k.name) == 0) {
      *vk = k.vk;
      *extended = k.extended;
      return true;
    }
  }
  if ((text[0] == 'F' || text[0] == 'f') && text[1] >= '1' && text[1] <= '9') {
    long long n;
    if (ParseNumber(text + 1, &n) && n >= 1 && n <= 12 && text[1] != '0') {
      *vk = static_cast<WORD>(VK_F1 + n - 1);
      return true;
    }
    return false;
  }
  long long n;
  if (text[0] == '0' && ParseNumber(text, &n) && n > 0 && n < 256) {
    *vk = static_cast<WORD>(n);
    return true;
  }
  return false;
}

// One argument of a Windows command line, quoted so that the C runtime's
// parser gives back exactly `arg`.
std::string QuoteArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      out.append(backslashes * 2 + 1, '\\');
    } else {
      out.append(backslashes, '\\');
    }
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  return out + "\"";
}

bool ParseHwnd(const char* text, HWND* hwnd) {
  long long v;
  if (!ParseNumber(text, &v) || v == 0) return false;
  *hwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(v));
  return IsWindow(*hwnd) != FALSE;
}

bool ParsePid(const char* text, DWORD* pid) {
  long long v;
  if (!ParseNumber(text, &v) || v <= 0 || v > 0xFFFFFFFFll) return false;
  *pid = static_cast<DWORD>(v);
  return true;
}

// ---------------------------------------------------------------------------
// Reading windows

unsigned long long HandleNumber(const void* h) {
  return static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(h));
}

std::wstring ClassOf(HWND h) {
  wchar_t buf[256] = {0};
  int n = GetClassNameW(h, buf, 256);
  return std::wstring(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

// A window's text as the program's own ANSI bytes. WM_GETTEXT reaches the
// control's real text (an edit box keeps its own); a window whose thread does
// not answer in time gives the caption Windows keeps for it instead.
std::string TextOf(HWND h) {
  DWORD_PTR length = 0;
  if (SendMessageTimeoutA(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) {
    std::vector<char> buf(length * 2 + 64, 0);
    DWORD_PTR got = 0;
    if (SendMessageTimeoutA(h, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()),
                            SMTO_ABORTIFHUNG, 2000, &got)) {
      buf.back() = 0;
      return std::string(buf.data(), strnlen(buf.data(), buf.size()));
    }
  }
  char buf[4096] = {0};
  int n = GetWindowTextA(h, buf, sizeof buf);
  return std::string(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

LRESULT Ask(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(h, msg, wp, lp, SMTO_ABORTIFHUNG, 2000, &result)) return 0;
  return static_cast<LRESULT>(result);
}

std::string RectJson(const RECT& r) {
  return "[" + Num(r.left) + "," + Num(r.top) + "," + Num(r.right) + "," + Num(r.bottom) + "]";
}

std::string PairJson(long long a, long long b) { return "[" + Num(a) + "," + Num(b) + "]"; }

// The font a window was given with WM_SETFONT, described when this process can
// read the handle (GDI handles of another process may not be readable).
std::string FontInfoJson(HFONT font) {
  if (!font) return "null";
  LOGFONTA lf;
  if (GetObjectA(font, sizeof lf, &lf) != sizeof lf) return "null";
  std::string face(lf.lfFaceName, strnlen(lf.lfFaceName, LF_FACESIZE));
  return JsonObject()
      .Raw("face_hex", "\"" + Hex(face) + "\"")
      .Int("height", lf.lfHeight)
      .Int("weight", lf.lfWeight)
      .Bool("italic", lf.lfItalic != 0)
      .Int("charset", lf.lfCharSet)
      .Done();
}

DWORD Style(HWND h) { return static_cast<DWORD>(GetWindowLongPtrA(h, GWL_STYLE)); }
DWORD ExStyle(HWND h) { return static_cast<DWORD>(GetWindowLongPtrA(h, GWL_EXSTYLE)); }

struct WindowList {
  DWORD pid;
  std::vector<HWND> windows;
};

BOOL CALLBACK CollectTopLevel(HWND h, LPARAM lp) {
  WindowList* list = reinterpret_cast<WindowList*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  if (pid == list->pid) list->windows.push_back(h);
  return TRUE;
}

std::vector<HWND> TopLevelWindowsOf(DWORD pid) {
  WindowList list;
  list.pid = pid;
  EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&list));
  return list.windows;
}

std::vector<HWND> DirectChildren(HWND h) {
  std::vector<HWND> out;
  for (HWND c = GetWindow(h, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) out.push_back(c);
  return out;
}

int CmdFind(int argc, char** argv) {
  DWORD pid;
  if (argc < 1 || !ParsePid(argv[0], &pid)) return Fail("usage: find <pid> [--class C]");
  const char* wanted = nullptr;
  if (argc >= 3 && strcmp(argv[1], "--class") == 0) {
    wanted = argv[2];
  } else if (argc != 1) {
    return Fail("usage: find <pid> [--class C]");
  }
  std::vector<std::string> items;
  for (HWND h : TopLevelWindowsOf(pid)) {
    if (wanted) {
      char cls[256] = {0};
      GetClassNameA(h, cls, sizeof cls);
      if (lstrcmpiA(cls, wanted) != 0) continue;
    }
    RECT r = {0, 0, 0, 0};
    GetWindowRect(h, &r);
    items.push_back(JsonObject()
                        .UInt("hwnd", HandleNumber(h))
                        .Str("class", ClassOf(h))
                        .Raw("title_hex", "\"" + Hex(TextOf(h)) + "\"")
                        .Bool("visible", IsWindowVisible(h) != FALSE)
                        .Bool("enabled", IsWindowEnabled(h) != FALSE)
                        .UInt("style", Style(h))
                        .UInt("exstyle", ExStyle(h))
                        .Raw("rect", RectJson(r))
                        .Done());
  }
  PrintLine(JsonArray(items));
  return 0;
}

int CmdWindow(int argc, char** argv) {
  HWND h;
  if (argc != 1 || !ParseHwnd(argv[0], &h)) return Fail("usage: window <hwnd> (an existing window)");
  RECT r = {0, 0, 0, 0}, client = {0, 0, 0, 0};
  GetWindowRect(h, &r);
  GetClientRect(h, &client);
  POINT origin = {0, 0};
  ClientToScreen(h, &origin);
  DWORD pid = 0;
  DWORD tid = GetWindowThreadProcessId(h, &pid);
  GUITHREADINFO gui;
  memset(&gui, 0, sizeof gui);
  gui.cbSize = sizeof gui;
  HWND focus = GetGUIThreadInfo(tid, &gui) ? gui.hwndFocus : nullptr;
  HFONT font = reinterpret_cast<HFONT>(Ask(h, WM_GETFONT, 0, 0));

  std::vector<std::string> children;
  for (HWND c : DirectChildren(h)) {
    RECT cr = {0, 0, 0, 0};
    GetWindowRect(c, &cr);
    MapWindowPoints(nullptr, h, reinterpret_cast<POINT*>(&cr), 2);
    HFONT cf = reinterpret_cast<HFONT>(Ask(c, WM_GETFONT, 0, 0));
    children.push_back(JsonObject()
                           .UInt("hwnd", HandleNumber(c))
                           .Str("class", ClassOf(c))
                           .Int("id", GetDlgCtrlID(c))
                           .Raw("text_hex", "\"" + Hex(TextOf(c)) + "\"")
                           .UInt("style", Style(c))
                           .UInt("exstyle", ExStyle(c))
                           .Raw("rect", RectJson(cr))
                           .Bool("visible", IsWindowVisible(c) != FALSE)
                           .Bool("enabled", IsWindowEnabled(c) != FALSE)
                           .UInt("font", HandleNumber(cf))
                           .Raw("font_info", FontInfoJson(cf))
                           .Done());
  }

  PrintLine(JsonObject()
                .UInt("hwnd", HandleNumber(h))
                .Str("class", ClassOf(h))
                .Raw("title_hex", "\"" + Hex(TextOf(h)) + "\"")
                .Bool("visible", IsWindowVisible(h) != FALSE)
                .Bool("enabled", IsWindowEnabled(h) != FALSE)
                .UInt("style", Style(h))
                .UInt("exstyle", ExStyle(h))
                .Raw("rect", RectJson(r))
                .Raw("client_size", PairJson(client.right - client.left, client.bottom - client.top))
                .Raw("client_origin", PairJson(origin.x, origin.y))
                .UInt("font", HandleNumber(font))
                .Raw("font_info", FontInfoJson(font))
                .UInt("icon_big", HandleNumber(reinterpret_cast<void*>(Ask(h, WM_GETICON, ICON_BIG, 0))))
                .UInt("icon_small", HandleNumber(reinterpret_cast<void*>(Ask(h, WM_GETICON, ICON_SMALL, 0))))
                .UInt("class_icon", static_cast<unsigned long long>(GetClassLongPtrA(h, GCLP_HICON)))
                .UInt("class_icon_small", static_cast<unsigned long long>(GetClassLongPtrA(h, GCLP_HICONSM)))
                .UInt("focus", HandleNumber(focus))
                .UInt("foreground", HandleNumber(GetForegroundWindow()))
                .UInt("owner", HandleNumber(GetWindow(h, GW_OWNER)))
                .UInt("parent", HandleNumber(GetAncestor(h, GA_PARENT) == GetDesktopWindow()
                                                 ? nullptr
                                                 : GetAncestor(h, GA_PARENT)))
                .UInt("pid", pid)
                .UInt("tid", tid)
                .Bool("minimized", IsIconic(h) != FALSE)
                .Bool("maximized", IsZoomed(h) != FALSE)
                .Raw("children", JsonArray(children))
                .Done());
  return 0;
}

struct TreeWalk {
  std::vector<std::string> items;
};

BOOL CALLBACK CollectDescendant(HWND h, LPARAM lp) {
  TreeWalk* walk = reinterpret_cast<TreeWalk*>(lp);
  RECT r = {0, 0, 0, 0};
  GetWindowRect(h, &r);
  walk->items.push_back(JsonObject()
                            .UInt("hwnd", HandleNumber(h))
                            .UInt("parent", HandleNumber(GetAncestor(h, GA_PARENT)))
                            .Str("class", ClassOf(h))
                            .Int("id", GetDlgCtrlID(h))
                            .Raw("rect", RectJson(r))
                            .Bool("visible", IsWindowVisible(h) != FALSE)
                            .Bool("enabled", IsWindowEnabled(h) != FALSE)
                            .Done());
  return TRUE;
}

int CmdTree(int argc, char** argv) {
  HWND h;
  if (argc != 1 || !ParseHwnd(argv[0], &h)) return Fail("usage: tree <hwnd> (an existing window)");
  TreeWalk walk;
  EnumChildWindows(h, CollectDescendant, reinterpret_cast<LPARAM>(&walk));
  PrintLine(JsonArray(walk.items));
  return 0;
}

// The static control that carries a message box's text has id 0xFFFF.
bool IsMessageTextId(int id) { return id == 0xFFFF || id == -1; }

int CmdMsgboxes(int argc, char** argv) {
  DWORD pid;
  if (argc != 1 || !ParsePid(argv[0], &pid)) return Fail("usage: msgboxes <pid>");
  std::vector<std::string> boxes;
  for (HWND h : TopLevelWindowsOf(pid)) {
    if (ClassOf(h) != L"#32770") continue;
    std::string text;
    bool have_text = false;
    std::string fallback_text;
    bool has_icon = false;
    std::vector<std::string> buttons;
    for (HWND c : DirectChildren(h)) {
      std::wstring cls = ClassOf(c);
      if (lstrcmpiW(cls.c_str(), L"Static") == 0) {
        if ((Style(c) & SS_TYPEMASK) == SS_ICON) {
          if (IsWindowVisible(c) && Ask(c, STM_GETICON, 0, 0) != 0) has_icon = true;
        } else if (IsMessageTextId(GetDlgCtrlID(c))) {
          text = TextOf(c);
          have_text = true;
        } else if (fallback_text.empty()) {
          fallback_text = TextOf(c);
        }
      } else if (lstrcmpiW(cls.c_str(), L"Button") == 0 && IsWindowVisible(c)) {
        buttons.push_back(JsonObject()
                              .Int("id", GetDlgCtrlID(c))
                              .UInt("hwnd", HandleNumber(c))
                              .Raw("text_hex", "\"" + Hex(TextOf(c)) + "\"")
                              .Done());
      }
    }
    RECT r = {0, 0, 0, 0};
    GetWindowRect(h, &r);
    boxes.push_back(JsonObject()
                        .UInt("hwnd", HandleNumber(h))
                        .Raw("title_hex", "\"" + Hex(TextOf(h)) + "\"")
                        .Raw("text_hex", "\"" + Hex(have_text ? text : fallback_text) + "\"")
                        .UInt("style", Style(h))
                        .UInt("exstyle", ExStyle(h))
                        .UInt("owner", HandleNumber(GetWindow(h, GW_OWNER)))
                        .Bool("has_icon", has_icon)
                        .Bool("visible", IsWindowVisible(h) != FALSE)
                        .Raw("rect", RectJson(r))
                        .Raw("buttons", JsonArray(buttons))
                        .Done());
  }
  PrintLine(JsonArray(boxes));
  return 0;
}

// ---------------------------------------------------------------------------
// Input

// Makes `top` the foreground window. A process without windows may not take
// the foreground on Windows unless it shares input state with the current
// foreground thread, so the driver attaches to it (and to the target) first.
bool BringToForeground(HWND top) {
  DWORD me = GetCurrentThreadId();
  HWND fg = GetForegroundWindow();
  DWORD fg_thread = fg ? GetWindowThreadProcessId(fg, nullptr) : 0;
  DWORD target_thread = GetWindowThreadProcessId(top, nullptr);
  bool attached_fg = fg_thread && fg_thread != me && AttachThreadInput(me, fg_thread, TRUE);
  bool attached_target =
      target_thread && target_thread != me && target_thread != fg_thread && AttachThreadInput(me, target_thread, TRUE);
  SetForegroundWindow(top);
  if (attached_target) AttachThreadInput(me, target_thread, FALSE);
  if (attached_fg) AttachThreadInput(me, fg_thread, FALSE);
  // The switch is carried out by the target's thread; wait until it shows.
  for (int i = 0; i < 500; ++i) {
    if (GetForegroundWindow() == top) return true;
    if (i % 50 == 49) SetForegroundWindow(top);
    Sleep(10);
  }
  return false;
}

INPUT KeyInput(WORD vk, bool extended, bool up) {
  INPUT in;
  memset(&in, 0, sizeof in);
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.wScan = static_cast<WORD>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC));
  in.ki.dwFlags = (extended ? KEYEVENTF_EXTENDEDKEY : 0) | (up ? KEYEVENTF_KEYUP : 0);
  return in;
}

int CmdKey(int argc, char** argv) {
  const char* usage = "usage: key <hwnd> <key> [shift] [ctrl] [alt]";
  HWND h;
  WORD vk;
  bool extended;
  if (argc < 2 || !ParseHwnd(argv[0], &h)) return Fail(usage);
  if (!ParseKey(argv[1], &vk, &extended)) return Fail(std::string("unknown key ") + argv[1]);
  std::vector<WORD> modifiers;
  for (int i = 2; i < argc; ++i) {
    if (lstrcmpiA(argv[i], "shift") == 0) {
      modifiers.push_back(VK_SHIFT);
    } else if (lstrcmpiA(argv[i], "ctrl") == 0) {
      modifiers.push_back(VK_CONTROL);
    } else if (lstrcmpiA(argv[i], "alt") == 0) {
      modifiers.push_back(VK_MENU);
    } else {
      return Fail(std::string("unknown modifier ") + argv[i]);
    }
  }
  HWND top = GetAncestor(h, GA_ROOT);
  if (!top) top = h;
  if (!BringToForeground(top)) return Fail("the window did not come to the foreground");

  std::vector<INPUT> inputs;
  for (WORD m : modifiers) inputs.push_back(KeyInput(m, false, false));
  inputs.push_back(KeyInput(vk, extended, false));
  inputs.push_back(KeyInput(vk, extended, true));
  for (size_t i = modifiers.size(); i-- > 0;) inputs.push_back(KeyInput(modifiers[i], false, true));
  UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  if (sent != inputs.size()) return Fail("SendInput failed: " + Num(static_cast<long long>(GetLastError())));
  PrintLine(JsonObject().Bool("ok", true).UInt("foreground", HandleNumber(GetForegroundWindow())).Done());
  return 0;
}

int CmdMouse(int argc, char** argv) {
  const char* usage = "usage: mouse <x> <y> <move|click|down|up|rclick>";
  long long x, y;
  if (argc != 3 || !ParseNumber(argv[0], &x) || !ParseNumber(argv[1], &y)) return Fail(usage);
  std::vector<DWORD> buttons;
  if (strcmp(argv[2], "move") == 0) {
  } else if (strcmp(argv[2], "click") == 0) {
    buttons = {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP};
  } else if (strcmp(argv[2], "down") == 0) {
    buttons = {MOUSEEVENTF_LEFTDOWN};
  } else if (strcmp(argv[2], "up") == 0) {
    buttons = {MOUSEEVENTF_LEFTUP};
  } else if (strcmp(argv[2], "rclick") == 0) {
    buttons = {MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP};
  } else {
    return Fail(usage);
  }
  long long cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
  if (cx <= 0 || cy <= 0 || x < 0 || y < 0 || x >= cx || y >= cy) return Fail("point outside the screen");
  // Absolute coordinates are in 1/65536 of the screen; round up so the
  // system's scaling back lands on exactly (x, y).
  LONG ax = static_cast<LONG>((x * 65536 + cx - 1) / cx);
  LONG ay = static_cast<LONG>((y * 65536 + cy - 1) / cy);
  std::vector<INPUT> inputs;
  INPUT move;
  memset(&move, 0, sizeof move);
  move.type = INPUT_MOUSE;
  move.mi.dx = ax;
  move.mi.dy = ay;
  move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  inputs.push_back(move);
  for (DWORD b : buttons) {
    INPUT in = move;
    in.mi.dwFlags = b | MOUSEEVENTF_ABSOLUTE;
    inputs.push_back(in);
  }
  UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  if (sent != inputs.size()) return Fail("SendInput failed: " + Num(static_cast<long long>(GetLastError())));
  POINT at = {0, 0};
  GetCursorPos(&at);
  PrintLine(JsonObject().Bool("ok", true).Raw("cursor", PairJson(at.x, at.y)).Done());
  return 0;
}

int CmdSendOrPost(int argc, char** argv, bool post) {
  const char* usage = post ? "usage: post <hwnd> <msg> <wparam> <lparam>" : "usage: send <hwnd> <msg> <wparam> <lparam>";
  HWND h;
  long long msg, wp, lp;
  if (argc != 4 || !ParseHwnd(argv[0], &h) || !ParseMessage(argv[1], &msg) || !ParseNumber(argv[2], &wp) ||
      !ParseNumber(argv[3], &lp)) {
    return Fail(usage);
  }
  if (post) {
    if (!PostMessageA(h, static_cast<UINT>(msg), static_cast<WPARAM>(wp), static_cast<LPARAM>(lp))) {
      return Fail("PostMessage failed: " + Num(static_cast<long long>(GetLastError())));
    }
    PrintLine(JsonObject().Bool("ok", true).Done());
    return 0;
  }
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(h, static_cast<UINT>(msg), static_cast<WPARAM>(wp), static_cast<LPARAM>(lp), SMTO_NORMAL,
                           60000, &result)) {
    return Fail("SendMessage did not return: " + Num(static_cast<long long>(GetLastError())));
  }
  PrintLine(JsonObject().Int("result", static_cast<long long>(static_cast<LONG_PTR>(result))).Done());
  return 0;
}

int CmdClick(int argc, char** argv) {
  HWND h;
  if (argc != 1 || !ParseHwnd(argv[0], &h)) return Fail("usage: click <hwnd> (an existing window)");
  // The click is carried out by the button's own thread; whatever the
  // program does in answer may take long (or open a modal box), so the
  // driver does not wait for it to finish.
  DWORD_PTR result = 0;
  bool returned = SendMessageTimeoutA(h, BM_CLICK, 0, 0, SMTO_NORMAL, 2000, &result) != 0;
  PrintLine(JsonObject().Bool("ok", true).Bool("returned", returned).Done());
  return 0;
}

int CmdScreen(int argc, char**) {
  if (argc != 0) return Fail("usage: screen");
  PrintLine(JsonObject().Int("cx", GetSystemMetrics(SM_CXSCREEN)).Int("cy", GetSystemMetrics(SM_CYSCREEN)).Done());
  return 0;
}

int CmdKill(int argc, char** argv) {
  DWORD pid;
  long long code = 1;
  if (argc < 1 || argc > 2 || !ParsePid(argv[0], &pid) || (argc == 2 && !ParseNumber(argv[1], &code))) {
    return Fail("usage: kill <pid> [exit code]");
  }
  HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
  if (!process) return Fail("no such process: " + UNum(pid));
  bool ok = TerminateProcess(process, static_cast<UINT>(code)) != FALSE;
  if (ok) WaitForSingleObject(process, 10000);
  CloseHandle(process);
  if (!ok) return Fail("TerminateProcess failed: " + Num(static_cast<long long>(GetLastError())));
  PrintLine(JsonObject().Bool("ok", true).Done());
  return 0;
}

// run <exe> [cwd] [-- args...]
int CmdRun(int argc, char** argv) {
  const char* usage = "usage: run <exe> [cwd] [-- args...]";
  if (argc < 1) return Fail(usage);
  std::string exe = argv[0];
  std::string cwd;
  int i = 1;
  if (i < argc && strcmp(argv[i], "--") != 0) cwd = argv[i++];
  std::string command_line = QuoteArgument(exe);
  if (i < argc) {
    if (strcmp(argv[i], "--") != 0) return Fail(usage);
    for (++i; i < argc; ++i) command_line += " " + QuoteArgument(argv[i]);
  }
  if (cwd.empty()) {
    size_t slash = exe.find_last_of("\\/");
    if (slash != std::string::npos) cwd = exe.substr(0, slash + 1);
  }
  STARTUPINFOA si;
  memset(&si, 0, sizeof si);
  si.cb = sizeof si;
  PROCESS_INFORMATION pi;
  memset(&pi, 0, sizeof pi);
  std::vector<char> line(command_line.begin(), command_line.end());
  line.push_back(0);
  // No handles are inherited: the program must not keep the bench's pipes open.
  if (!CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      cwd.empty() ? nullptr : cwd.c_str(), &si, &pi)) {
    return Fail("CreateProcess failed: " + Num(static_cast<long long>(GetLastError())));
  }
  CloseHandle(pi.hThread);
  PrintLine(JsonObject().UInt("pid", pi.dwProcessId).Done());
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  PrintLine(JsonObject().Int("exit", static_cast<int32_t>(code)).Done());
  return 0;
}

// ---------------------------------------------------------------------------
// Self check of the pure routines (run by CTest)

int CmdSelftest() {
  int failures = 0;
  auto check = [&failures](bool ok, const std::string& what) {
    if (!ok) {
      ++failures;
      fprintf(stderr, "selftest: %s\n", what.c_str());
    }
  };

  struct EscapeCase {
    const wchar_t* in;
    const char* out;
  };
  const EscapeCase escapes[] = {
      {L"", "\"\""},
      {L"plain #32770", "\"plain #32770\""},
      {L"quote\" back\\slash", "\"quote\\\" back\\\\slash\""},
      {L"\n\r\t\x01\x1f", "\"\\n\\r\\t\\u0001\\u001f\""},
      {L"\x7f\xe9\x4e2d\xffff", "\"\\u007f\\u00e9\\u4e2d\\uffff\""},
  };
  for (const EscapeCase& c : escapes) {
    std::string got = JsonString(c.in);
    check(got == c.out, "JsonString case " + std::string(c.out) + " gave " + got);
  }
  check(JsonStringBytes(std::string("\xD4\xCB\"", 3)) == "\"\\u00d4\\u00cb\\\"\"", "JsonStringBytes of high bytes");
  check(Hex(std::string("\x00\x7f\x80\xff", 4)) == "007f80ff", "Hex keeps every byte including NUL");

  struct NumberCase {
    const char* in;
    bool ok;
    long long value;
  };
  const NumberCase numbers[] = {
      {"0", true, 0},         {"42", true, 42},   {"-1", true, -1},  {"0x10", true, 16},
      {"0XfF", true, 255},    {"-0x1", true, -1}, {"", false, 0},    {"-", false, 0},
      {"0x", false, 0},       {"12a", false, 0},  {"0x1g", false, 0}, {"99999999999999999999", false, 0},
  };
  for (const NumberCase& c : numbers) {
    long long v = 0;
    bool ok = ParseNumber(c.in, &v);
    check(ok == c.ok && (!ok || v == c.value), std::string("ParseNumber case \"") + c.in + "\"");
  }
  long long msg = 0;
  check(ParseMessage("wm_close", &msg) && msg == 0x10, "ParseMessage by name");
  check(!ParseMessage("WM_NOPE", &msg), "ParseMessage rejects unknown names");

  struct KeyCase {
    const char* in;
    bool ok;
    WORD vk;
    bool extended;
  };
  const KeyCase keys[] = {
      {"ESCAPE", true, VK_ESCAPE, false}, {"tab", true, VK_TAB, false}, {"F1", true, VK_F1, false},
      {"F4", true, VK_F4, false},         {"F12", true, VK_F12, false}, {"F13", false, 0, false},
      {"F0", false, 0, false},            {"m", true, 'M', false},      {"7", true, '7', false},
      {"LEFT", true, VK_LEFT, true},      {"0x41", true, 0x41, false},  {"?", false, 0, false},
      {"NOSUCHKEY", false, 0, false},
  };
  for (const KeyCase& c : keys) {
    WORD vk = 0;
    bool extended = false;
    bool ok = ParseKey(c.in, &vk, &extended);
    check(ok == c.ok && (!ok || (vk == c.vk && extended == c.extended)), std::string("ParseKey case ") + c.in);
  }

  struct QuoteCase {
    const char* in;
    const char* out;
  };
  const QuoteCase quotes[] = {
      {"plain", "plain"},
      {"", "\"\""},
      {"two words", "\"two words\""},
      {"C:\\dir with space\\", "\"C:\\dir with space\\\\\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"a\\\"b", "\"a\\\\\\\"b\""},
  };
  for (const QuoteCase& c : quotes) {
    std::string got = QuoteArgument(c.in);
    check(got == c.out, std::string("QuoteArgument case [") + c.in + "] gave [" + got + "]");
  }

  if (failures) return Fail("selftest: " + Num(failures) + " check(s) failed");
  PrintLine(JsonObject().Bool("ok", true).Done());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc < 2) {
    return Fail("usage: fmdriver run|find|window|tree|key|mouse|send|post|msgboxes|click|screen|kill ...");
  }
  const char* cmd = argv[1];
  int n = argc - 2;
  char** args = argv + 2;
  if (strcmp(cmd, "run") == 0) return CmdRun(n, args);
  if (strcmp(cmd, "find") == 0) return CmdFind(n, args);
  if (strcmp(cmd, "window") == 0) return CmdWindow(n, args);
  if (strcmp(cmd, "tree") == 0) return CmdTree(n, args);
  if (strcmp(cmd, "key") == 0) return CmdKey(n, args);
  if (strcmp(cmd, "mouse") == 0) return CmdMouse(n, args);
  if (strcmp(cmd, "send") == 0) return CmdSendOrPost(n, args, false);
  if (strcmp(cmd, "post") == 0) return CmdSendOrPost(n, args, true);
  if (strcmp(cmd, "msgboxes") == 0) return CmdMsgboxes(n, args);
  if (strcmp(cmd, "click") == 0) return CmdClick(n, args);
  if (strcmp(cmd, "screen") == 0) return CmdScreen(n, args);
  if (strcmp(cmd, "kill") == 0) return CmdKill(n, args);
  if (strcmp(cmd, "selftest") == 0) return CmdSelftest();
  return Fail(std::string("unknown command ") + cmd);
}
