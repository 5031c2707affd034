// One blocking HTTP request over WinINet, reached through the library
// function table. Runs on the user-interface thread and dispatches the
// pending window messages before every read, so the program's windows are
// serviced while a response arrives.
#pragma once

#include "app/text.h"

// Fetches `url` and returns the response body up to its first zero byte
// (the empty text when nothing could be had). The HTTP status is not looked
// at: an error page's body comes back like any other.
//
// method           in/out: "POST" in any letter case makes a POST with that
//                  very verb; anything else becomes "GET" in the caller's
//                  variable once the connection is open.
// proxy, useProxy  in: with useProxy, HTTP goes through `proxy`.
// headers          in/out: extra request lines, each ended by CR LF; the
//                  default Accept, Referer and Accept-Language lines are
//                  appended unless the caller's text names them, and for a
//                  POST with a body the Content-Type and Content-Length
//                  lines. Afterwards the variable holds what was sent.
// body             in: the form body of a POST.
// responseHeaders  out: the raw response headers, only when
//                  wantResponseHeaders is true; untouched otherwise.
Text HttpFetch(const Text& url, Text& method, const Text& proxy, bool useProxy, Text& headers,
               const Text& body, Text& responseHeaders, bool wantResponseHeaders);
