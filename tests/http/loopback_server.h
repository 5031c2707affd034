// A small HTTP server on 127.0.0.1 that runs on a thread of the test process
// and records every request it reads. One connection at a time; every
// response closes its connection.
#pragma once
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace http_test {

struct RecordedRequest {
  std::string method;
  std::string target;
  std::map<std::string, std::string> headers;  // lower-case names; repeated ones joined with ", "
  std::string body;
  std::string Header(const std::string& name) const {
    auto it = headers.find(name);
    return it == headers.end() ? std::string() : it->second;
  }
  bool Has(const std::string& name) const { return headers.count(name) != 0; }
};

struct Response {
  int status = 200;
  std::string reason = "OK";
  std::string extraHeaders;  // whole lines, each ended by CR LF
  std::string body;
  // When set: send the headers (announcing the whole body) and this many
  // body bytes, then reset the connection.
  int resetAfter = -1;
};

class LoopbackServer {
 public:
  // Called on the server thread after a request has been read and recorded,
  // before its response is sent.
  using RequestHook = std::function<void(const RecordedRequest&)>;

  LoopbackServer() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
  ~LoopbackServer() {
    Stop();
    WSACleanup();
  }

  // Listens on 127.0.0.1:port (0: any free port). False when the port cannot be had.
  bool Start(unsigned short port = 0) {
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener_ == INVALID_SOCKET) return false;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 16) != 0) {
      closesocket(listener_);
      listener_ = INVALID_SOCKET;
      return false;
    }
    int length = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
    return true;
  }

  void Stop() {
    if (listener_ != INVALID_SOCKET) {
      stopping_ = true;
      closesocket(listener_);  // wakes accept()
      listener_ = INVALID_SOCKET;
    }
    if (thread_.joinable()) thread_.join();
  }

  unsigned short Port() const { return port_; }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

  // The response for a path (the query string is part of it); others get 404.
  void Route(const std::string& target, const Response& response) {
    std::lock_guard<std::mutex> lock(mutex_);
    routes_[target] = response;
  }
  void OnRequest(RequestHook hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    hook_ = std::move(hook);
  }
  std::vector<RecordedRequest> Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

 private:
  void Serve() {
    while (!stopping_) {
      SOCKET client = accept(listener_, nullptr, nullptr);
      if (client == INVALID_SOCKET) break;
      Handle(client);
    }
  }

  static bool ReadMore(SOCKET s, std::string& into) {
    char buffer[8192];
    int n = recv(s, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    into.append(buffer, static_cast<size_t>(n));
    return true;
  }

  static std::string Lower(std::string s) {
    for (char& c : s) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
  }

  static void SendAll(SOCKET s, const std::string& data) {
    size_t sent = 0;
    while (sent < data.size()) {
      int chunk = static_cast<int>(std::min<size_t>(data.size() - sent, 1 << 16));
      int n = send(s, data.data() + sent, chunk, 0);
      if (n <= 0) return;
      sent += static_cast<size_t>(n);
    }
  }

  void Handle(SOCKET client) {
    std::string data;
    size_t headEnd;
    while ((headEnd = data.find("\r\n\r\n")) == std::string::npos) {
      if (!ReadMore(client, data)) {
        closesocket(client);
        return;
      }
    }
    RecordedRequest request;
    std::string head = data.substr(0, headEnd);
    size_t lineEnd = head.find("\r\n");
    std::string requestLine = head.substr(0, lineEnd);
    size_t space1 = requestLine.find(' ');
    size_t space2 = requestLine.find(' ', space1 + 1);
    request.method = requestLine.substr(0, space1);
    request.target = requestLine.substr(space1 + 1, space2 - space1 - 1);
    size_t at = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
    while (at < head.size()) {
      size_t end = head.find("\r\n", at);
      if (end == std::string::npos) end = head.size();
      std::string line = head.substr(at, end - at);
      size_t colon = line.find(':');
      if (colon != std::string::npos) {
        std::string name = Lower(line.substr(0, colon));
        size_t valueStart = line.find_first_not_of(' ', colon + 1);
        std::string value = valueStart == std::string::npos ? "" : line.substr(valueStart);
        std::string& slot = request.headers[name];
        slot = slot.empty() ? value : slot + ", " + value;
      }
      at = end + 2;
    }
    size_t length = 0;
    if (request.Has("content-length")) length = std::stoul(request.Header("content-length"));
    std::string body = data.substr(headEnd + 4);
    while (body.size() < length && ReadMore(client, body)) {
    }
    request.body = body.substr(0, length);

    Response response;
    response.status = 404;
    response.reason = "Not Found";
    response.body = "no such page";
    RequestHook hook;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(request);
      auto route = routes_.find(request.target);
      if (route != routes_.end()) response = route->second;
      hook = hook_;
    }
    if (hook) hook(request);

    std::string reply = "HTTP/1.1 " + std::to_string(response.status) + " " + response.reason + "\r\n" +
                        "Content-Length: " + std::to_string(response.body.size()) + "\r\n" +
                        "Cache-Control: no-store\r\nConnection: close\r\n" + response.extraHeaders + "\r\n";
    if (response.resetAfter >= 0) {
      SendAll(client, reply + response.body.substr(0, static_cast<size_t>(response.resetAfter)));
      linger hard = {1, 0};
      setsockopt(client, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
      closesocket(client);  // RST instead of FIN
      return;
    }
    SendAll(client, reply + response.body);
    // The request has been read whole, so this close is an orderly one and
    // the response still arrives in full.
    shutdown(client, SD_SEND);
    closesocket(client);
  }

  SOCKET listener_ = INVALID_SOCKET;
  unsigned short port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
  std::mutex mutex_;
  std::map<std::string, Response> routes_;
  std::vector<RecordedRequest> requests_;
  RequestHook hook_;
};

// A port on 127.0.0.1 where nothing listens: bound, then let go.
inline unsigned short UnusedPort() {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  int length = sizeof address;
  getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  closesocket(s);
  return ntohs(address.sin_port);
}

}  // namespace http_test
