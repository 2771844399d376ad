// The program's side of the vendor tests (tests/vendor/test_vendor.py): writes a request body with the
// submission client exactly as a send packs it, on the in-memory machine, and reads a removal script
// and checksum items with the removal window's own reader.
//
//   wdl_vendor_interop request OUT CATEGORY [NAME=TEXT | NAME=@FILE]...
//       Sends CATEGORY with the values through CL.Do1 and writes the posted body to OUT (UTF-8).
//   wdl_vendor_interop read-script FILE
//       Reads the script in FILE (UTF-8) and prints its four texts, one "name=value" line each, then
//       "white=" and "black=" with the checksums of its two lists in decimal, joined by ";" (UTF-8).
//   wdl_vendor_interop read-items ITEM...
//       Prints each checksum item as the program reads it, in decimal, or "invalid", one line each.
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

#include "common/Error.h"
#include "common/TextCodec.h"
#include "common/Utilities.h"
#include "removal/RemovalScript.h"
#include "report/CL.h"
#include "tests/doubles/FakeMachine.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int Request(int argc, char** argv) {
  platform::FakeMachine machine;
  CProperties values;
  for (int i = 4; i < argc; ++i) {
    const std::string argument = argv[i];
    const std::size_t equals = argument.find('=');
    if (equals == std::string::npos) throw std::runtime_error("not NAME=VALUE: " + argument);
    std::string value = argument.substr(equals + 1);
    if (!value.empty() && value[0] == '@') value = ReadFile(value.substr(1));
    values.Add(qn::FromUtf8(argument.substr(0, equals)), qn::FromUtf8(value));
  }
  std::wstring cause;
  if (!CL().Do1(qn::FromUtf8(argv[3]), values, cause)) {
    std::cerr << "not sent: " << qn::ToUtf8(cause) << "\n";
    return 1;
  }
  std::ofstream(argv[2], std::ios::binary) << qn::ToUtf8(machine.http.LastBody());
  return 0;
}

std::string Joined(const RemovalScript::CChecksumList& list) {
  std::string joined;
  for (std::int32_t checksum : list) joined += (joined.empty() ? "" : ";") + std::to_string(checksum);
  return joined;
}

int ReadScript(const char* path) {
  RemovalScript::ScriptTexts texts;
  RemovalScript::CChecksumList white, black;
  if (!RemovalScript::ParseScriptFromMessage(qn::FromUtf8(ReadFile(path)), texts, white, black)) {
    throw std::runtime_error("not a script");
  }
  std::cout << "pcname=" << qn::ToUtf8(texts.pcname) << "\nos=" << qn::ToUtf8(texts.os) << "\ncpu="
            << qn::ToUtf8(texts.cpu) << "\nminappversion=" << qn::ToUtf8(texts.minappversion) << "\nwhite="
            << Joined(white) << "\nblack=" << Joined(black) << "\n";
  return 0;
}

int ReadItems(int argc, char** argv) {
  for (int i = 2; i < argc; ++i) {
    try {
      std::cout << RemovalScript::ReadChecksumItem(qn::FromUtf8(argv[i])) << "\n";
    } catch (const CError&) {
      std::cout << "invalid\n";
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "request" && argc >= 4) return Request(argc, argv);
    if (command == "read-script" && argc == 3) return ReadScript(argv[2]);
    if (command == "read-items") return ReadItems(argc, argv);
    std::cerr << "usage: wdl_vendor_interop request OUT CATEGORY [NAME=VALUE]... | read-script FILE | read-items ITEM...\n";
    return 2;
  } catch (const CError& e) {
    std::cerr << "error " << e.Number() << ": " << qn::ToUtf8(e.Description()) << "\n";
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
  }
  return 1;
}
