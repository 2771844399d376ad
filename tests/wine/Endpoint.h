#pragma once
// The local stand-in for the vendor's endpoint (tests/endpoint/endpoint.py), as the Wine tests drive it:
// its folder beside bin\ of the build tree, the answer it gives, the requests it recorded, the system's
// proxy setting that sends the program's requests to it, and the removal scripts that the vendor's tool
// writes for the requests it recorded.
#include <windows.h>
#include <winsock2.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "common/TextCodec.h"
#include "platform/Platform.h"

namespace wine_test {

namespace fs = std::filesystem;

// endpoint\ of the build tree, beside bin\.
inline fs::path EndpointFolder() {
  wchar_t module[MAX_PATH * 2] = {};
  const fs::path exe(std::wstring(module, ::GetModuleFileNameW(nullptr, module, MAX_PATH * 2)));
  return fs::weakly_canonical(exe.parent_path() / L".." / L"endpoint");
}

inline std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline int EndpointPort() { return std::stoi(ReadText(EndpointFolder() / L"port")); }
inline int ClosedPort() { return std::stoi(ReadText(EndpointFolder() / L"closed-port")); }

// How the endpoint answers the next POSTs ("200", "302", "404", "delay 2 200", "hang", "truncated", "garbage",
// ...: the modes endpoint.py lists).
inline void SetAnswer(const std::string& how) { std::ofstream(EndpointFolder() / L"answer", std::ios::binary) << how; }

// One request as the endpoint recorded it; for a POST also what vendor.py made of its body.
struct Record {
  int number = 0;  // the endpoint's count of the request, from its start
  std::map<std::string, std::string> request;  // method, target, host, content-type
  std::string body;
  std::string verdict, subject, id;
  std::map<std::string, std::string> values;  // UTF-8
};

inline void ClearRecords() {
  std::error_code ignored;
  fs::remove_all(EndpointFolder() / L"requests", ignored);
}

// The records, in arrival order (only those complete: request.txt is written last). The endpoint numbers
// its records on from its start, also after ClearRecords.
inline std::vector<Record> Records() {
  std::map<int, fs::path> folders;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(EndpointFolder() / L"requests", error)) {
    if (fs::exists(entry.path() / L"request.txt")) folders[std::stoi(entry.path().filename().string())] = entry.path();
  }
  std::vector<Record> records;
  for (const auto& [number, folder] : folders) {
    Record r;
    r.number = number;
    std::istringstream lines(ReadText(folder / L"request.txt"));
    for (std::string line; std::getline(lines, line);) {
      const auto equals = line.find('=');
      if (equals != std::string::npos) r.request[line.substr(0, equals)] = line.substr(equals + 1);
    }
    r.body = ReadText(folder / L"body");
    r.verdict = ReadText(folder / L"verdict.txt");
    r.subject = ReadText(folder / L"subject.txt");
    r.id = ReadText(folder / L"id.txt");
    if (fs::exists(folder / L"values")) {
      for (const auto& entry : fs::directory_iterator(folder / L"values")) {
        r.values[entry.path().filename().string()] = ReadText(entry.path());
      }
    }
    records.push_back(std::move(r));
  }
  return records;
}

// What arrived, as a record says: vendor.py's verdict, the subject and the values (UTF-8), in arrival
// order.
using Arrival = std::tuple<std::string, std::string, std::map<std::string, std::string>>;
inline std::vector<Arrival> Arrivals() {
  std::vector<Arrival> arrivals;
  for (const Record& r : Records()) arrivals.emplace_back(r.verdict, r.subject, r.values);
  return arrivals;
}

// The current user's proxy setting (Internet Settings: ProxyEnable, ProxyServer), set to `server` for
// the owner's lifetime; the values as they were (or their absence) come back after.
class ProxySetting {
 public:
  // The local endpoint listening (or not) on `port`.
  explicit ProxySetting(int port) : ProxySetting(Local(port)) {}
  explicit ProxySetting(const std::wstring& server) {
    for (Saved& saved : saved_) {
      saved.present = ::RegGetValueW(HKEY_CURRENT_USER, kKey, saved.name, RRF_RT_ANY | RRF_NOEXPAND, &saved.type,
                                     saved.data, &saved.size) == ERROR_SUCCESS;
    }
    const DWORD one = 1;
    ::RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"ProxyEnable", REG_DWORD, &one, sizeof one);
    ::RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"ProxyServer", REG_SZ, server.c_str(),
                      static_cast<DWORD>((server.size() + 1) * sizeof(wchar_t)));
  }
  ~ProxySetting() {
    for (const Saved& saved : saved_) {
      if (saved.present) {
        ::RegSetKeyValueW(HKEY_CURRENT_USER, kKey, saved.name, saved.type, saved.data, saved.size);
      } else {
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey, saved.name);
      }
    }
  }
  ProxySetting(const ProxySetting&) = delete;
  ProxySetting& operator=(const ProxySetting&) = delete;

  static std::wstring Local(int port) { return L"127.0.0.1:" + std::to_wstring(port); }

 private:
  static constexpr const wchar_t* kKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
  struct Saved {
    const wchar_t* name;
    bool present = false;
    DWORD type = 0;
    DWORD size = sizeof data;
    BYTE data[1024] = {};
  };
  Saved saved_[2] = {{L"ProxyEnable"}, {L"ProxyServer"}};
};

// The endpoint with its records cleared, answering `answer`, and the proxy setting pointing at it for the
// owner's lifetime.
struct FreshEndpoint {
  explicit FreshEndpoint(const std::string& answer = "200") {
    ClearRecords();
    SetAnswer(answer);
  }
  ProxySetting proxy{EndpointPort()};
};

// The real system with a tick count that the test moves on: Advance adds to it at once, and with a
// `factor` above 1 each Sleep really sleeps and moves the count on by `factor` times as much, so that a
// 300-second wait passes in a few real seconds. Installed for the owner's lifetime.
class TestClock : public platform::ISystem {
 public:
  explicit TestClock(std::uint32_t factor = 1) : real_(platform::System()), factor_(factor) {
    platform::Services services;
    services.system = this;
    previous_ = platform::Install(services);
  }
  ~TestClock() override { platform::Install(previous_); }
  TestClock(const TestClock&) = delete;
  TestClock& operator=(const TestClock&) = delete;

  void Advance(std::uint32_t ms) { extra_ += ms; }
  std::uint32_t GetTickCount() override { return real_.GetTickCount() + extra_; }
  void Sleep(std::uint32_t ms) override {
    real_.Sleep(ms);
    extra_ += ms * (factor_ - 1);
  }
  std::uint32_t GetVersion() override { return real_.GetVersion(); }
  platform::LocalTime Now() override { return real_.Now(); }
  std::wstring FormatDateTime(const platform::LocalTime& time) override { return real_.FormatDateTime(time); }
  std::wstring TimeSeparator() override { return real_.TimeSeparator(); }
  std::wstring CommandArguments() override { return real_.CommandArguments(); }
  std::wstring ComputerName() override { return real_.ComputerName(); }
  std::wstring OsDescription() override { return real_.OsDescription(); }
  std::wstring CpuDescription() override { return real_.CpuDescription(); }
  std::wstring ErrorText(std::uint32_t code) override { return real_.ErrorText(code); }
  bool Is64BitWindows() override { return real_.Is64BitWindows(); }
  std::wstring SystemFolder() override { return real_.SystemFolder(); }
  std::wstring SystemWow64Folder() override { return real_.SystemWow64Folder(); }
  std::string ToAnsi(const std::wstring& text) override { return real_.ToAnsi(text); }
  std::wstring FromAnsi(const std::string& text) override { return real_.FromAnsi(text); }

 private:
  platform::ISystem& real_;
  std::uint32_t factor_;
  std::uint32_t extra_ = 0;
  platform::Services previous_;
};

// The text as the query of a URL carries it: UTF-8, every byte but letters, digits and "-._~" as %XX.
inline std::string QueryText(const std::wstring& text) {
  std::string escaped;
  for (unsigned char c : qn::ToUtf8(text)) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      escaped += static_cast<char>(c);
    } else {
      static const char kHex[] = "0123456789ABCDEF";
      escaped += {'%', kHex[c >> 4], kHex[c & 15]};
    }
  }
  return escaped;
}

// What the vendor answers the support request recorded as `record`: the removal script that vendor.py
// writes (UTF-8) to remove the files at `remove` and, with `keepSuspicious`, keep every other suspicious
// file ("GET /vendor/script", asked of the endpoint directly). `status` receives the HTTP status (0 when
// there was no answer); on any other status than 200 the text is the tool's reason.
inline std::string VendorScript(int record, const std::vector<std::wstring>& remove, bool keepSuspicious, int& status) {
  std::string target = "/vendor/script?record=" + std::to_string(record);
  for (const std::wstring& path : remove) target += "&remove=" + QueryText(path);
  if (keepSuspicious) target += "&keep-suspicious=1";
  status = 0;
  WSADATA data{};
  if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return "";
  std::string answer;
  const SOCKET connection = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = ::htons(static_cast<u_short>(EndpointPort()));
  address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
  if (connection != INVALID_SOCKET &&
      ::connect(connection, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
    const std::string request = "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    if (::send(connection, request.data(), static_cast<int>(request.size()), 0) == static_cast<int>(request.size())) {
      char buffer[4096];
      for (int got; (got = ::recv(connection, buffer, sizeof buffer, 0)) > 0;) answer.append(buffer, static_cast<std::size_t>(got));
    }
  }
  if (connection != INVALID_SOCKET) ::closesocket(connection);
  ::WSACleanup();
  const std::size_t space = answer.find(' ');
  const std::size_t bodyStart = answer.find("\r\n\r\n");
  if (answer.rfind("HTTP/", 0) != 0 || space == std::string::npos || bodyStart == std::string::npos) return answer;
  status = std::atoi(answer.c_str() + space + 1);
  return answer.substr(bodyStart + 4);
}

}  // namespace wine_test
