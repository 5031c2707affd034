// Benchmark (not a test): fetching a 1 MiB body through HttpFetch, against a
// plain WinINet loop that reads 64 KiB at a time, from a loopback server in
// this process. Each measurement runs in a fresh child process (this program
// again), so that one way's heap and WinINet state cannot favour the other;
// the two ways alternate, round after round.
//
// Time: the fetch alone, after a small warm-up request that loads and starts
// WinINet. Memory: the rise of the process's peak resident size over its size
// just before the fetch. Under Wine a process is a Linux process, so its peak
// can be reset through /proc/self/clear_refs first; where that is not
// possible the rise is taken over the peak the process had reached before.
//
// usage: http_bench [rounds]   (prints one line per way and the ratios)
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>
#include <wininet.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../http/loopback_server.h"
#include "net/http_fetch.h"

namespace {

constexpr size_t kBodySize = 1 << 20;
const char kChildSwitch[] = "--measure";

std::string ExePath() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, n);
}

SIZE_T ResidentBytes() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return counters.WorkingSetSize;
}

SIZE_T PeakResidentBytes() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return counters.PeakWorkingSetSize;
}

bool ResetPeak() {
  HANDLE file = CreateFileA("Z:\\proc\\self\\clear_refs", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, "5", 1, &written, nullptr) && written == 1;
  CloseHandle(file);
  return ok;
}

size_t FetchWithHttpFetch(const std::string& address) {
  Text url(address.c_str());
  Text method, proxy, headers, body, responseHeaders;
  Text result = HttpFetch(url, method, proxy, false, headers, body, responseHeaders, false);
  return static_cast<size_t>(result.Length());
}

size_t FetchWithPlainLoop(unsigned short port, const std::string& path, DWORD chunkSize, bool peek,
                          bool timeouts) {
  HINTERNET internet = InternetOpenA("bench", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  HINTERNET connection =
      InternetConnectA(internet, "127.0.0.1", port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  HINTERNET request =
      HttpOpenRequestA(connection, "GET", path.c_str(), "HTTP/1.1", nullptr, nullptr, INTERNET_FLAG_RELOAD, 0);
  if (timeouts) {
    DWORD timeout = 18000;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT}) {
      InternetSetOptionA(request, option, &timeout, sizeof timeout);
    }
  }
  HttpSendRequestA(request, nullptr, 0, nullptr, 0);
  std::vector<char> body;
  std::vector<char> chunk(chunkSize);
  DWORD count = 0;
  MSG message;
  while ((!peek || !PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) &&
         InternetReadFile(request, chunk.data(), static_cast<DWORD>(chunk.size()), &count) && count > 0) {
    body.insert(body.end(), chunk.data(), chunk.data() + count);
  }
  InternetCloseHandle(request);
  InternetCloseHandle(connection);
  InternetCloseHandle(internet);
  return body.size();
}

// Child: one warm-up request, then the measured one; writes
// "<microseconds> <peak rise in bytes> <body length> <peak was reset 0/1>".
int Measure(const std::string& way, unsigned short port, const std::string& resultPath) {
  LoadLibraryA("wininet.dll");
  const std::string base = "http://127.0.0.1:" + std::to_string(port);
  auto fetch = [&](const std::string& path) {
    if (way == "httpfetch") return FetchWithHttpFetch(base + path);
    if (way == "wininet512") return FetchWithPlainLoop(port, path, 512, false, false);
    if (way == "wininet512peek") return FetchWithPlainLoop(port, path, 512, true, false);
    if (way == "wininet512peekto") return FetchWithPlainLoop(port, path, 512, true, true);
    return FetchWithPlainLoop(port, path, 64 * 1024, false, false);
  };
  fetch("/tiny");
  bool reset = ResetPeak();
  SIZE_T before = ResidentBytes();
  SIZE_T peakBefore = PeakResidentBytes();
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  size_t length = fetch("/mib");
  QueryPerformanceCounter(&end);
  SIZE_T peak = PeakResidentBytes();
  SIZE_T floor = reset ? before : std::max(before, peakBefore);
  double micros = static_cast<double>(end.QuadPart - start.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
  FILE* out = fopen(resultPath.c_str(), "w");
  if (!out) return 1;
  fprintf(out, "%.0f %llu %llu %d\n", micros, static_cast<unsigned long long>(peak > floor ? peak - floor : 0),
          static_cast<unsigned long long>(length), reset ? 1 : 0);
  fclose(out);
  return 0;
}

struct Sample {
  double micros = 0;
  double peakRise = 0;
  unsigned long long length = 0;
  int reset = 0;
};

bool RunChild(const std::string& way, unsigned short port, Sample& sample) {
  std::string resultPath = ExePath() + "." + way + ".result";
  DeleteFileA(resultPath.c_str());
  std::string commandLine = "\"" + ExePath() + "\" " + kChildSwitch + " " + way + " " + std::to_string(port) +
                            " \"" + resultPath + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return false;
  }
  WaitForSingleObject(process.hProcess, 120000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  FILE* in = fopen(resultPath.c_str(), "r");
  if (!in) return false;
  unsigned long long rise = 0;
  bool ok = fscanf(in, "%lf %llu %llu %d", &sample.micros, &rise, &sample.length, &sample.reset) == 4;
  sample.peakRise = static_cast<double>(rise);
  fclose(in);
  DeleteFileA(resultPath.c_str());
  return ok;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && strcmp(argv[1], kChildSwitch) == 0) {
    return Measure(argv[2], static_cast<unsigned short>(atoi(argv[3])), argv[4]);
  }
  int rounds = argc > 1 ? atoi(argv[1]) : 7;
  if (rounds < 1) rounds = 1;

  http_test::LoopbackServer server;
  if (!server.Start()) {
    fprintf(stderr, "http_bench: no loopback port\n");
    return 1;
  }
  http_test::Response tiny;
  tiny.body = "warm-up";
  server.Route("/tiny", tiny);
  http_test::Response mib;
  mib.body.resize(kBodySize);
  for (size_t i = 0; i < kBodySize; ++i) mib.body[i] = static_cast<char>('a' + (i * 31 + i / 977) % 26);
  server.Route("/mib", mib);

  // The first two are the comparison asked for; the others show where the
  // time of the first goes: 512-byte reads, the look at the message queue
  // before each, and the time-outs set on the request.
  const char* ways[] = {"httpfetch", "wininet64k", "wininet512", "wininet512peek", "wininet512peekto"};
  const char* labels[] = {"HttpFetch", "WinINet 64K", "WinINet 512", "512+peek", "512+peek+timeouts"};
  constexpr int kWays = 5;
  std::vector<double> micros[kWays], rise[kWays];
  int resets = 0, samples = 0;
  for (int round = 0; round < rounds; ++round) {
    for (int w = 0; w < kWays; ++w) {
      Sample sample;
      if (!RunChild(ways[w], server.Port(), sample)) {
        fprintf(stderr, "http_bench: %s child failed\n", ways[w]);
        return 1;
      }
      if (sample.length != kBodySize) {
        fprintf(stderr, "http_bench: %s got %llu bytes, not %zu\n", ways[w], sample.length, kBodySize);
        return 1;
      }
      micros[w].push_back(sample.micros);
      rise[w].push_back(sample.peakRise);
      resets += sample.reset;
      ++samples;
    }
  }
  printf("fetching a %zu-byte body from 127.0.0.1, %d rounds, one child process per sample, medians:\n", kBodySize,
         rounds);
  for (int w = 0; w < kWays; ++w) {
    printf("  %-17s %9.1f ms   peak resident rise %8.1f KiB\n", labels[w], Median(micros[w]) / 1000.0, Median(rise[w]) / 1024.0);
  }
  double riseOther = Median(rise[1]);
  printf("ratio HttpFetch / plain WinINet loop: time %.2f, peak memory %s\n", Median(micros[0]) / Median(micros[1]),
         riseOther > 0 ? std::to_string(Median(rise[0]) / riseOther).substr(0, 4).c_str() : "n/a (no rise)");
  printf("(peak %s)\n", resets == samples ? "reset before each measured fetch via /proc/self/clear_refs"
                                          : "not resettable: rise over the earlier peak");
  return 0;
}
