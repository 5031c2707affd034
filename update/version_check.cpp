#include "update/version_check.h"

#include <windows.h>
#include <shellapi.h>

#include "app/build_config.h"
#include "app/program_end.h"
#include "app/seams.h"
#include "net/http_fetch.h"
#include "update/download_address.h"

Text g_downloadPageUrl;
Text g_versionFlag;

namespace {

const char DOWNLOAD_INFO_URL[] = "http://" FM_UPDATE_SERVER_HOST "/wz/marrowick.txt";
const char VERSION_FLAG_URL[] = "http://" FM_UPDATE_SERVER_HOST "/bb/22.txt";
const char CURRENT_VERSION_FLAG[] = "1";
// "发现有新版本啦！点击确定进入最新版本下载页面！"
const char NEW_VERSION_MESSAGE[] =
    "\xB7\xA2\xCF\xD6\xD3\xD0\xD0\xC2\xB0\xE6\xB1\xBE\xC0\xB2\xA3\xA1\xB5\xE3\xBB\xF7\xC8\xB7"
    "\xB6\xA8\xBD\xF8\xC8\xEB\xD7\xEE\xD0\xC2\xB0\xE6\xB1\xBE\xCF\xC2\xD4\xD8\xD2\xB3\xC3\xE6\xA3\xA1";
// "信息："
const char NEW_VERSION_CAPTION[] = "\xD0\xC5\xCF\xA2\xA3\xBA";
const char SHELL_OWNER_TITLE[] = "Microsoft Internet Explorer";

// One plain GET of `address`: no proxy, only the default header lines. The
// argument variables are released in their parameter order right after the
// call; only the body is kept.
Text FetchResource(const char* address) {
  Text url(address);
  Text method;
  Text proxy;
  Text headers;
  Text body;
  Text responseHeaders;
  Text result = HttpFetch(url, method, proxy, false, headers, body, responseHeaders, false);
  url.Release();
  method.Release();
  proxy.Release();
  headers.Release();
  body.Release();
  responseHeaders.Release();
  return result;
}

#if FM_TEST_SEAMS
void RecordShellExecute(HWND owner, const char* verb, const Text& file) {
  static const char kDigits[] = "0123456789abcdef";
  Text hex = Text::OfLength(file.Length() * 2);
  char* out = hex.Writable();
  for (int32_t i = 0; i < file.Length(); ++i) {
    unsigned char c = static_cast<unsigned char>(file.Str()[i]);
    out[2 * i] = kDigits[c >> 4];
    out[2 * i + 1] = kDigits[c & 15];
  }
  hex.Seal();
  FM_SEAM_RECORD("shell-execute owner=%s verb=%s file=%s", owner ? "found" : "none", verb, hex.Str());
}
#endif

}  // namespace

void FetchDownloadPageUrl() {
  Text fetched = FetchResource(DOWNLOAD_INFO_URL);
  g_downloadPageUrl.Release();
  g_downloadPageUrl = static_cast<Text&&>(fetched);
}

void CheckVersion() {
  Text fetched = FetchResource(VERSION_FLAG_URL);
  g_versionFlag.Release();
  g_versionFlag = static_cast<Text&&>(fetched);
  if (g_versionFlag.Equals(CURRENT_VERSION_FLAG)) return;

  // There is no way to decline: whatever closes the box, the program ends.
  MessageBoxA(nullptr, NEW_VERSION_MESSAGE, NEW_VERSION_CAPTION, MB_OK | MB_TASKMODAL);
  OpenWithShell(g_downloadPageUrl);
  EndProgram(0);
}

void OpenWithShell(Text& address) {
  // The address is whatever the update server sent, over plain HTTP; see
  // download_address.cpp for why only web addresses reach the shell.
  if (!IsWebAddress(address.Str(), address.Length())) return;
  HWND owner = FindWindowExA(nullptr, nullptr, nullptr, SHELL_OWNER_TITLE);
#if FM_TEST_SEAMS
  RecordShellExecute(owner, "open", address);
#endif
  ShellExecuteA(owner, "open", address.Str(), nullptr, nullptr, SW_SHOWNORMAL);
}
