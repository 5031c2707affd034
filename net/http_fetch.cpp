#include "net/http_fetch.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "app/byteset.h"
#include "app/dll_table.h"
#include "net/text_rules.h"
#include "net/url.h"

namespace {

const char USER_AGENT[] = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
const char PROXY_LIST_PREFIX[] = "http=";
const char HTTP_VERSION[] = "HTTP/1.1";
constexpr DWORD HTTP_TIMEOUT_MS = 18000;
constexpr DWORD READ_CHUNK_SIZE = 512;
constexpr DWORD RAW_HEADERS_BUFFER_SIZE = 1024;

const char ACCEPT_LINE[] =
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
    "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*\r\n";
const char ACCEPT_LANGUAGE_LINE[] = "Accept-Language: zh-cn\r\n";
const char CONTENT_TYPE_LINE[] = "Content-Type: application/x-www-form-urlencoded\r\n";

// The WinINet numbers this routine passes (from wininet.h, which the program
// does not include: it is not linked against the library).
constexpr DWORD INTERNET_OPEN_TYPE_DIRECT = 1;
constexpr DWORD INTERNET_OPEN_TYPE_PROXY = 3;
constexpr DWORD INTERNET_SERVICE_HTTP = 3;
constexpr DWORD INTERNET_FLAG_RELOAD = 0x80000000u;
constexpr DWORD INTERNET_OPTION_CONNECT_TIMEOUT = 2;
constexpr DWORD INTERNET_OPTION_SEND_TIMEOUT = 5;
constexpr DWORD INTERNET_OPTION_RECEIVE_TIMEOUT = 6;
constexpr DWORD HTTP_QUERY_RAW_HEADERS_CRLF = 22;

void CloseInternetHandle(DllWord handle) { CallDllCommand(kDllRowInternetCloseHandle, handle); }

// Appends `line` unless `headers` already names the header: `name` is the
// name with its colon and the blank after it, found anywhere, in any case.
void AddDefaultLine(Text& headers, const char* name, const Text& line) {
  if (TextFind(headers, Text(name), 1) == -1) headers.Append(line);
}

// Dispatches what is waiting in the thread's queue, one message at a time,
// until it is empty or the next message is a quit request; that one stays
// queued for the program's message loop.
void DispatchPendingMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
    if (message.message == WM_QUIT) return;
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return;
    if (message.message == WM_QUIT) {
      // Posted by another thread between the two looks: put it back.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

}  // namespace

Text HttpFetch(const Text& url, Text& method, const Text& proxy, bool useProxy, Text& headers,
               const Text& body, Text& responseHeaders, bool wantResponseHeaders) {
  // 1. The Internet handle.
  DllWord internet;
  if (useProxy) {
    Text proxyList(PROXY_LIST_PREFIX);
    proxyList.Append(proxy);
    internet = CallDllCommand(kDllRowInternetOpenA, USER_AGENT, INTERNET_OPEN_TYPE_PROXY, proxyList, "", 0);
  } else {
    internet = CallDllCommand(kDllRowInternetOpenA, USER_AGENT, INTERNET_OPEN_TYPE_DIRECT, "", "", 0);
  }
  if (!internet) return Text();

  // 2. The connection. The port goes over as a 16-bit number; 0 is the
  // default HTTP port.
  Text host = UrlGetHost(url);
  const WORD port = static_cast<WORD>(UrlGetPort(url));
  DllWord connection =
      CallDllCommand(kDllRowInternetConnectA, internet, host, port, "", "", INTERNET_SERVICE_HTTP, 0, 0);
  host.Release();
  if (!connection) {
    CloseInternetHandle(internet);
    return Text();
  }

  // 3. Anything but POST (in any letter case) is a GET; a POST keeps the
  // caller's own spelling as the verb.
  Text upper = TextToUpper(method);
  if (!upper.Equals("POST")) method = Text("GET");
  upper.Release();

  // 4. The request, never answered from a cache.
  Text path = UrlGetPath(url);
  DllWord request = CallDllCommand(kDllRowHttpOpenRequestA, connection, method, path, HTTP_VERSION, nullptr,
                                   nullptr, INTERNET_FLAG_RELOAD, 0);
  path.Release();
  if (!request) {
    CloseInternetHandle(internet);
    CloseInternetHandle(connection);
    return Text();
  }

  // 5. Time-outs, on the request handle where they take effect.
  DWORD timeout = HTTP_TIMEOUT_MS;
  CallDllCommand(kDllRowInternetSetOptionA, request, INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof timeout);
  CallDllCommand(kDllRowInternetSetOptionA, request, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
  CallDllCommand(kDllRowInternetSetOptionA, request, INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof timeout);

  // 6. Default lines, joined directly to what the caller gave.
  AddDefaultLine(headers, "Accept: ", Text(ACCEPT_LINE));
  Text referer("Referer: ");
  referer.Append(url);
  referer.Append("\r\n");
  AddDefaultLine(headers, "Referer: ", referer);
  referer.Release();
  AddDefaultLine(headers, "Accept-Language: ", Text(ACCEPT_LANGUAGE_LINE));

  // 7. Send.
  if (method.Equals("GET")) {
    CallDllCommand(kDllRowHttpSendRequestA, request, headers, headers.Length(), "", 0);
  } else {
    if (!body.Empty()) {
      headers.Append(CONTENT_TYPE_LINE);
      char contentLength[48];
      snprintf(contentLength, sizeof contentLength, "Content-Length: %d\r\n", static_cast<int>(body.Length()));
      headers.Append(contentLength);
    }
    CallDllCommand(kDllRowHttpSendRequestA, request, headers, headers.Length(), body, body.Length());
  }

  // 8. Read in small pieces, servicing the windows before each. The read
  // sets the count to 0 before anything else, so a failed read ends the loop.
  ByteSet received;
  DWORD count = 1;
  while (count > 0) {
    unsigned char chunk[READ_CHUNK_SIZE];
    memset(chunk, 0, sizeof chunk);
    DispatchPendingMessages();
    count = 0;
    CallDllCommand(kDllRowInternetReadFile, request, chunk, READ_CHUNK_SIZE, &count);
    if (count > READ_CHUNK_SIZE) count = 0;  // never trust a count past the buffer
    received.Append(chunk, count);
  }

  // 9. The raw response headers, only when asked for. The buffer is offered
  // as 1024 blanks; a query that fails leaves them, and they are what the
  // caller gets.
  if (wantResponseHeaders) {
    char raw[RAW_HEADERS_BUFFER_SIZE + 1];
    memset(raw, ' ', RAW_HEADERS_BUFFER_SIZE);
    raw[RAW_HEADERS_BUFFER_SIZE] = 0;
    DWORD rawLength = RAW_HEADERS_BUFFER_SIZE;
    CallDllCommand(kDllRowHttpQueryInfoA, request, HTTP_QUERY_RAW_HEADERS_CRLF, raw, &rawLength, nullptr);
    raw[RAW_HEADERS_BUFFER_SIZE] = 0;
    responseHeaders = Text(raw);
  }

  // 10. Release, the Internet handle first.
  CloseInternetHandle(internet);
  CloseInternetHandle(connection);
  CloseInternetHandle(request);

  // 11. The body up to its first zero byte.
  return received.ToText();
}
