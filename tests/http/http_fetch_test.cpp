// HttpFetch against a recording server on the loopback interface, run in
// this test process. What goes over the wire is WinINet's business as far as
// order and its own lines go, so the server's side is checked by values; the
// caller's variables are checked byte for byte.
#include <gtest/gtest.h>

#include "loopback_server.h"

#include <string>

#include "net/http_fetch.h"

using namespace http_test;

namespace {

const char kUserAgent[] = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
const char kAcceptValue[] =
    "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
    "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*";
const std::string kAcceptLine = std::string("Accept: ") + kAcceptValue + "\r\n";
const std::string kAcceptLanguageLine = "Accept-Language: zh-cn\r\n";

std::string RefererLine(const std::string& url) { return "Referer: " + url + "\r\n"; }

std::string DefaultLines(const std::string& url) {
  return kAcceptLine + RefererLine(url) + kAcceptLanguageLine;
}

// The caller's variables of one call, and what came back.
struct Call {
  Text url;
  Text method;
  Text proxy;
  bool useProxy = false;
  Text headers;
  Text body;
  Text responseHeaders;
  bool wantResponseHeaders = false;
  Text result;

  explicit Call(const std::string& address) : url(address.c_str()) {}
  Call& Run() {
    result = HttpFetch(url, method, proxy, useProxy, headers, body, responseHeaders, wantResponseHeaders);
    return *this;
  }
};

std::string Str(const Text& text) { return std::string(text.Str(), static_cast<size_t>(text.Length())); }

class HttpFetchTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server_.Start()) << "no loopback port"; }
  void Serve(const std::string& path, const std::string& body, int status = 200, const char* reason = "OK") {
    Response response;
    response.status = status;
    response.reason = reason;
    response.body = body;
    server_.Route(path, response);
  }
  // The one request the server has seen.
  RecordedRequest OnlyRequest() {
    std::vector<RecordedRequest> requests = server_.Requests();
    EXPECT_EQ(requests.size(), 1u);
    return requests.empty() ? RecordedRequest() : requests.front();
  }
  LoopbackServer server_;
};

TEST_F(HttpFetchTest, PlainGetSendsExactlyTheDefaultLines) {
  Serve("/wz/a.txt", "http://example.test/download");
  Call call(server_.Url("/wz/a.txt"));
  call.Run();
  EXPECT_EQ(Str(call.result), "http://example.test/download");
  EXPECT_EQ(Str(call.method), "GET");
  EXPECT_EQ(Str(call.headers), DefaultLines(server_.Url("/wz/a.txt")));

  RecordedRequest request = OnlyRequest();
  EXPECT_EQ(request.method, "GET");
  EXPECT_EQ(request.target, "/wz/a.txt");
  EXPECT_EQ(request.Header("accept"), kAcceptValue);
  EXPECT_EQ(request.Header("referer"), server_.Url("/wz/a.txt"));
  EXPECT_EQ(request.Header("accept-language"), "zh-cn");
  EXPECT_EQ(request.Header("user-agent"), kUserAgent);
  EXPECT_EQ(request.body, "");
}

TEST_F(HttpFetchTest, MethodRule) {
  struct Case {
    const char* given;
    const char* afterwards;  // the caller's variable
    const char* sent;        // the verb on the wire
  } cases[] = {
      {"", "GET", "GET"},     {"HEAD", "GET", "GET"},    {"PUT", "GET", "GET"},
      {"get", "GET", "GET"},  {"post", "post", "post"},  {"PoSt", "PoSt", "PoSt"},
      {"POST", "POST", "POST"},
  };
  Serve("/m", "answer");
  for (const Case& c : cases) {
    Call call(server_.Url("/m"));
    call.method = Text(c.given);
    call.Run();
    EXPECT_EQ(Str(call.method), c.afterwards) << "method \"" << c.given << "\"";
    std::vector<RecordedRequest> requests = server_.Requests();
    ASSERT_FALSE(requests.empty()) << "method \"" << c.given << "\"";
    EXPECT_EQ(requests.back().method, c.sent) << "method \"" << c.given << "\"";
    EXPECT_EQ(Str(call.result), "answer") << "method \"" << c.given << "\"";
  }
}

TEST_F(HttpFetchTest, PostWithBodyAddsTypeAndLengthAfterTheDefaults) {
  Serve("/form", "posted");
  Call call(server_.Url("/form"));
  call.method = Text("POST");
  call.body = Text("a=1&b=%E4%B8%AD");
  // Lines of those names already there do not stop the two from being added.
  call.headers = Text("Content-Type: text/plain\r\n");
  call.Run();
  EXPECT_EQ(Str(call.result), "posted");
  EXPECT_EQ(Str(call.headers), "Content-Type: text/plain\r\n" + DefaultLines(server_.Url("/form")) +
                                   "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 15\r\n");
  RecordedRequest request = OnlyRequest();
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.body, "a=1&b=%E4%B8%AD");
  EXPECT_NE(request.Header("content-type").find("application/x-www-form-urlencoded"), std::string::npos)
      << request.Header("content-type");
}

TEST_F(HttpFetchTest, PostWithoutBodySendsNoBodyLines) {
  Serve("/form", "posted");
  Call call(server_.Url("/form"));
  call.method = Text("post");
  call.Run();
  EXPECT_EQ(Str(call.result), "posted");
  EXPECT_EQ(Str(call.headers), DefaultLines(server_.Url("/form")));
  RecordedRequest request = OnlyRequest();
  EXPECT_EQ(request.method, "post");
  EXPECT_EQ(request.body, "");
  EXPECT_FALSE(request.Has("content-type"));
}

TEST_F(HttpFetchTest, CallerHeadersSuppressOnlyTheLineTheyName) {
  Serve("/h", "ok");
  const std::string url = server_.Url("/h");
  const std::string referer = RefererLine(url);
  struct Case {
    const char* name;
    std::string given;
    std::string afterwards;
    const char* header;  // a header whose value the server must see...
    const char* value;   // ...as this
  } cases[] = {
      {"accept in lower case", "accept: text/plain\r\n", "accept: text/plain\r\n" + referer + kAcceptLanguageLine,
       "accept", "text/plain"},
      {"referer after another line", "X-One: 1\r\nREFERER: http://elsewhere/\r\n",
       "X-One: 1\r\nREFERER: http://elsewhere/\r\n" + kAcceptLine + kAcceptLanguageLine, "referer",
       "http://elsewhere/"},
      {"accept-language", "Accept-language: en\r\n", "Accept-language: en\r\n" + kAcceptLine + referer, "accept-language",
       "en"},
      {"name inside another line's value", "X-Note: Accept: x\r\n", "X-Note: Accept: x\r\n" + referer + kAcceptLanguageLine,
       "x-note", "Accept: x"},
      {"no blank after the colon", "Accept:text/plain\r\n", "Accept:text/plain\r\n" + DefaultLines(url), "referer",
       url.c_str()},
      {"no CR LF at the end", "X-Last: 1", "X-Last: 1" + DefaultLines(url), "x-last",
       nullptr},  // checked below: joined to the Accept line
  };
  for (const Case& c : cases) {
    Call call(url);
    call.headers = Text(c.given.c_str());
    call.Run();
    EXPECT_EQ(Str(call.headers), c.afterwards) << c.name;
    EXPECT_EQ(Str(call.result), "ok") << c.name;
    std::vector<RecordedRequest> requests = server_.Requests();
    ASSERT_FALSE(requests.empty()) << c.name;
    if (c.value) {
      EXPECT_EQ(requests.back().Header(c.header), c.value) << c.name;
    } else {
      EXPECT_EQ(requests.back().Header(c.header), std::string("1Accept: ") + kAcceptValue) << c.name;
    }
  }
}

TEST_F(HttpFetchTest, BodyEndsAtItsFirstZeroByte) {
  struct Case {
    const char* name;
    std::string body;
    std::string result;
  } cases[] = {
      {"zero inside", std::string("abc\0def", 7), "abc"},
      {"zero first", std::string("\0abc", 4), ""},
      {"no zero", "abcdef", "abcdef"},
  };
  for (const Case& c : cases) {
    Serve("/z", c.body);
    Call call(server_.Url("/z"));
    call.Run();
    EXPECT_EQ(Str(call.result), c.result) << c.name;
  }
}

TEST_F(HttpFetchTest, ErrorStatusBodyIsReturned) {
  Serve("/gone", "this page is gone", 404, "Not Found");
  Call call(server_.Url("/gone"));
  call.Run();
  EXPECT_EQ(Str(call.result), "this page is gone");
}

TEST_F(HttpFetchTest, UnreachableServerGivesTheEmptyText) {
  Call call("http://127.0.0.1:" + std::to_string(UnusedPort()) + "/x");
  call.responseHeaders = Text("before");
  call.Run();
  EXPECT_TRUE(call.result.Empty()) << Str(call.result);
  EXPECT_EQ(Str(call.method), "GET");
  EXPECT_EQ(Str(call.responseHeaders), "before");
}

TEST_F(HttpFetchTest, NoConnectionLeavesTheCallersVariablesAlone) {
  // An empty host name cannot even be connected to, so the fetch ends before
  // the method rule and before any header line is added.
  Call call("http:///x");
  call.method = Text("HEAD");
  call.headers = Text("X-Mine: 1\r\n");
  call.responseHeaders = Text("before");
  call.wantResponseHeaders = true;
  call.Run();
  EXPECT_TRUE(call.result.Empty()) << Str(call.result);
  EXPECT_EQ(Str(call.method), "HEAD");
  EXPECT_EQ(Str(call.headers), "X-Mine: 1\r\n");
  EXPECT_EQ(Str(call.responseHeaders), "before");
}

TEST_F(HttpFetchTest, ResponseHeadersOnlyWhenAskedFor) {
  Response response;
  response.body = "with headers";
  response.extraHeaders = "X-Fm-Test: yes\r\n";
  server_.Route("/rh", response);

  Call untouched(server_.Url("/rh"));
  untouched.responseHeaders = Text("keep me");
  untouched.Run();
  EXPECT_EQ(Str(untouched.responseHeaders), "keep me");
  EXPECT_EQ(Str(untouched.result), "with headers");

  Call asked(server_.Url("/rh"));
  asked.responseHeaders = Text("keep me");
  asked.wantResponseHeaders = true;
  asked.Run();
  std::string raw = Str(asked.responseHeaders);
  EXPECT_EQ(raw.compare(0, 13, "HTTP/1.1 200 "), 0) << raw;
  EXPECT_NE(raw.find("\r\nX-Fm-Test: yes\r\n"), std::string::npos) << raw;
  EXPECT_EQ(raw.substr(raw.size() >= 4 ? raw.size() - 4 : 0), "\r\n\r\n") << raw;
  EXPECT_EQ(Str(asked.result), "with headers");
}

TEST_F(HttpFetchTest, ResponseHeadersTooLongForTheBufferLeaveItsBlanks) {
  Response response;
  response.body = "long headers";
  response.extraHeaders = "X-Long: " + std::string(1200, 'h') + "\r\n";
  server_.Route("/long", response);
  Call call(server_.Url("/long"));
  call.wantResponseHeaders = true;
  call.Run();
  EXPECT_EQ(Str(call.responseHeaders), std::string(1024, ' '));
  EXPECT_EQ(Str(call.result), "long headers");
}

TEST_F(HttpFetchTest, LargeBodyArrivesWhole) {
  std::string body;
  body.reserve(700 * 1024);
  for (size_t i = 0; i < 700 * 1024; ++i) body += static_cast<char>(1 + (i * 7 + i / 251) % 255);
  Serve("/big", body);
  Call call(server_.Url("/big"));
  call.Run();
  ASSERT_EQ(static_cast<size_t>(call.result.Length()), body.size());
  EXPECT_TRUE(Str(call.result) == body) << "content differs";
}

TEST_F(HttpFetchTest, ResetMidBodyReturnsWhatArrived) {
  Response response;
  response.body = std::string(10000, 'r');
  response.body.replace(0, 5, "start");
  response.resetAfter = 3000;
  server_.Route("/reset", response);
  Call call(server_.Url("/reset"));
  call.Run();
  EXPECT_EQ(Str(call.result), response.body.substr(0, 3000));
}

TEST_F(HttpFetchTest, ProxyCarriesTheRequest) {
  // Through a proxy the request line names the whole address; the host in
  // it need not resolve, since only the proxy is connected to.
  const std::string address = "http://fm-proxy-test.invalid/via?q=1";
  // WinINet may write the default port into the request line.
  const std::string withPort = "http://fm-proxy-test.invalid:80/via?q=1";
  Serve(address, "through the proxy");
  Serve(withPort, "through the proxy");
  Call call(address);
  call.useProxy = true;
  call.proxy = Text(("127.0.0.1:" + std::to_string(server_.Port())).c_str());
  call.Run();
  EXPECT_EQ(Str(call.result), "through the proxy");
  RecordedRequest request = OnlyRequest();
  EXPECT_TRUE(request.target == address || request.target == withPort) << request.target;
  EXPECT_EQ(request.Header("referer"), address);
}

TEST(HttpFetchPort, PortTextZeroConnectsToPort80) {
  LoopbackServer server;
  if (!server.Start(80)) {
    GTEST_SKIP() << "127.0.0.1:80 cannot be bound here; this case runs where the test may bind it "
                    "(as root in a private network namespace)";
  }
  Response response;
  response.body = "on port 80";
  server.Route("/p", response);
  Text url("http://127.0.0.1:0/p");
  Text method, proxy, headers, body, responseHeaders;
  Text result = HttpFetch(url, method, proxy, false, headers, body, responseHeaders, false);
  EXPECT_EQ(Str(result), "on port 80");
  EXPECT_EQ(server.Requests().size(), 1u);
}

// --- Messages during a fetch ------------------------------------------------

struct MessageLog {
  bool inFetch = false;
  int dispatchedInFetch = 0;
  int dispatchedOutside = 0;
  int lateDispatched = 0;
  std::string nestedResult;
  std::string nestedUrl;
};
MessageLog g_messages;

constexpr UINT kEarlyMessage = WM_APP + 1;
constexpr UINT kLateMessage = WM_APP + 2;

LRESULT CALLBACK MessageWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kEarlyMessage) {
    (g_messages.inFetch ? g_messages.dispatchedInFetch : g_messages.dispatchedOutside)++;
    // A handler may start a fetch of its own inside the running one.
    Call nested(g_messages.nestedUrl);
    nested.Run();
    g_messages.nestedResult = Str(nested.result);
    return 0;
  }
  if (message == kLateMessage) {
    g_messages.lateDispatched++;
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(HttpFetchTest, PendingMessagesAreDispatchedAndQuitStaysQueued) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = MessageWindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "FmHttpFetchTestWindow";
  RegisterClassA(&windowClass);
  // The first window of a Wine session starts the desktop process, which
  // inherits this process's standard error and keeps it open: under CTest,
  // whose pipe that is, the test would then seem to run until the desktop
  // ends. Let it inherit nothing.
  HANDLE standardError = GetStdHandle(STD_ERROR_HANDLE);
  HANDLE nul = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  SetStdHandle(STD_ERROR_HANDLE, nul);
  HWND window = CreateWindowA("FmHttpFetchTestWindow", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              windowClass.hInstance, nullptr);
  SetStdHandle(STD_ERROR_HANDLE, standardError);
  CloseHandle(nul);
  ASSERT_NE(window, nullptr);

  Serve("/outer", "outer body");
  Serve("/nested", "nested body");
  g_messages = MessageLog();
  g_messages.nestedUrl = server_.Url("/nested");
  const DWORD testThread = GetCurrentThreadId();
  // While the outer request is being answered: a message for the window, a
  // quit request, then another message behind it.
  server_.OnRequest([&](const RecordedRequest& request) {
    if (request.target != "/outer") return;
    PostMessageA(window, kEarlyMessage, 0, 0);
    PostThreadMessageA(testThread, WM_QUIT, 7, 0);
    PostMessageA(window, kLateMessage, 0, 0);
  });

  Call call(server_.Url("/outer"));
  g_messages.inFetch = true;
  call.Run();
  g_messages.inFetch = false;
  EXPECT_EQ(Str(call.result), "outer body");
  EXPECT_EQ(g_messages.dispatchedInFetch, 1);
  EXPECT_EQ(g_messages.nestedResult, "nested body");
  EXPECT_EQ(g_messages.lateDispatched, 0) << "a message behind the quit request was dispatched";

  MSG message;
  ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) << "the quit request is gone";
  EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(message.wParam, 7u);
  ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(message.message, kLateMessage);
  DestroyWindow(window);
  UnregisterClassA("FmHttpFetchTestWindow", windowClass.hInstance);
}

}  // namespace
