// The program's side of the vendor tests (tests/vendor/test_vendor.py): writes a request body with the
// submission client exactly as a send packs it, on the in-memory machine, and reads a removal script
// with the property bag and the text form.
//
//   wdl_vendor_interop request OUT CATEGORY [NAME=TEXT | NAME=@FILE]...
//       Sends CATEGORY with the values through CL.Do1 and writes the posted body to OUT (UTF-8).
//   wdl_vendor_interop read-script FILE
//       Prints the six values of the script in FILE (UTF-8), one "name=value" line each (UTF-8).
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

#include "common/Error.h"
#include "common/TextCodec.h"
#include "common/Utilities.h"
#include "report/CL.h"
#include "tests/doubles/FakeMachine.h"
#include "ui/PropertyBag.h"

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

int ReadScript(const char* path) {
  const std::wstring text = qn::FromUtf8(ReadFile(path));
  const std::wstring start = L"============= Spyware Removal Script =============";
  const std::wstring end = L"============ ^Spyware Removal Script^ ============";
  const std::size_t from = text.find(start), to = text.find(end);
  if (from == std::wstring::npos || to == std::wstring::npos || to < from) throw std::runtime_error("no markers");
  ui::PropertyBag bag;
  bag.SetContents(Utilities().TextToBytes(text.substr(from + start.size(), to - from - start.size())));
  for (const wchar_t* name : {L"w", L"b", L"pcname", L"os", L"cpu", L"minappversion"}) {
    std::cout << qn::ToUtf8(name) << "=" << qn::ToUtf8(bag.ReadProperty(name, L"")) << "\n";
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "request" && argc >= 4) return Request(argc, argv);
    if (command == "read-script" && argc == 3) return ReadScript(argv[2]);
    std::cerr << "usage: wdl_vendor_interop request OUT CATEGORY [NAME=VALUE]... | read-script FILE\n";
    return 2;
  } catch (const CError& e) {
    std::cerr << "error " << e.Number() << ": " << qn::ToUtf8(e.Description()) << "\n";
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
  }
  return 1;
}
