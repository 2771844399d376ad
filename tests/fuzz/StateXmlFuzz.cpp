// The state XML of a support request, from a machine whose items have any names, sizes and version
// strings (processes and their modules, services with display names, startup entries, browser helper
// objects, toolbars and explorer bars), and any texts typed by the user or given by the system (OS, CPU,
// computer name, the time separator of the regional settings). The document stays one line of
// well-formed XML (libxml2 reads it) in its fixed order, every index a section names stands in
// fileinfo, and each typed text reads back from it exactly as typed.
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/Registry.h"
#include "common/TextCodec.h"
#include "inspection/FileInfoManager.h"
#include "inspection/FilenameResolver.h"
#include "inspection/Hashier.h"
#include "report/Reporter.h"
#include "shell/MAPI.h"
#include "shell/MWDL.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

using platform::kHkeyClassesRoot;
using platform::kHkeyCurrentUser;
using platform::kHkeyLocalMachine;

const std::wstring kServices = L"SYSTEM\\CurrentControlSet\\Services\\";
const std::wstring kRun = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::wstring kBHOs = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\";
const std::wstring kToolbars = L"Software\\Microsoft\\Internet Explorer\\Toolbar";
const std::wstring kVerticalBars = L"{00021493-0000-0000-C000-000000000046}";
const char* const kSections[] = {"meta", "suspicious", "startups", "bhos", "toolbars", "explorerbars",
                                 "services", "processes", "fileinfo"};
const char* const kMeta[] = {"os", "cpu", "pcname", "comments", "yourname", "youremail", "appversion", "sent"};

class QuietProgressor : public IProgressor {
 public:
  void Progress(double) override {}
  bool Cancelled() const override { return false; }
};

// libxml2 reports through this: any error means the document is not well formed.
void CountError(void* errors, xmlErrorPtr) { ++*static_cast<int*>(errors); }

// A character that XML 1.0 allows.
bool IsXmlChar(std::uint32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0x10FFFF);
}

// A text as the document can hold it: characters that XML does not allow become U+FFFD.
std::string Kept(const std::wstring& text) {
  std::string kept;
  fuzz::EachCharacter(text, [&kept](std::uint32_t c) {
    kept += qn::ToUtf8(std::wstring{static_cast<wchar_t>(IsXmlChar(c) ? c : 0xFFFD)});
  });
  return kept;
}

std::string Utf8(const xmlChar* text) { return text == nullptr ? std::string() : reinterpret_cast<const char*>(text); }

std::vector<xmlNodePtr> Elements(xmlNodePtr parent) {
  std::vector<xmlNodePtr> elements;
  for (xmlNodePtr node = parent->children; node != nullptr; node = node->next) {
    // No text between elements, but for the one blank that ends the toolbars.
    if (node->type == XML_TEXT_NODE && node->next == nullptr && Utf8(parent->name) == "toolbars" &&
        Utf8(node->content) == " ") {
      continue;
    }
    FUZZ_CHECK(node->type == XML_ELEMENT_NODE);
    elements.push_back(node);
  }
  return elements;
}

// A text that libxml2 hands over to be freed.
std::string Owned(xmlChar* text) {
  const std::string kept = Utf8(text);
  xmlFree(text);
  return kept;
}

std::string Attribute(xmlNodePtr element, const char* name) {
  return Owned(xmlGetProp(element, reinterpret_cast<const xmlChar*>(name)));
}

// The file a registration names: one of the files made, or any text.
std::wstring FileOf(FuzzedDataProvider& input, const std::vector<std::wstring>& files) {
  if (!files.empty() && input.ConsumeBool()) return files[input.ConsumeIntegralInRange<std::size_t>(0, files.size() - 1)];
  return fuzz::ConsumeText(input, 48);
}

void MakeMachine(FuzzedDataProvider& input, platform::FakeMachine& machine) {
  std::vector<std::wstring> files;
  for (int n = input.ConsumeIntegralInRange(0, 8); n > 0; --n) {
    const std::wstring path = fuzz::ConsumeText(input, 48);
    const std::string bytes = input.ConsumeRandomLengthString(128);
    machine.files.AddFile(path, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    if (input.ConsumeBool()) {
      machine.versionInfo.Set(path, {{L"CompanyName", fuzz::ConsumeText(input, 32)},
                                     {L"FileDescription", fuzz::ConsumeText(input, 32)}});
    }
    files.push_back(path);
  }
  machine.files.AddSearchFolder(L"C:\\WINDOWS\\system32");
  for (std::uint32_t id = 100, n = input.ConsumeIntegralInRange(0, 3); n > 0; --n, ++id) {
    std::vector<std::wstring> modules;
    for (int m = input.ConsumeIntegralInRange(1, 4); m > 0; --m) modules.push_back(FileOf(input, files));
    machine.processes.AddProcess(id, modules);
  }
  for (int n = input.ConsumeIntegralInRange(0, 6); n > 0; --n) {
    // A class id has the length of one, whatever it holds.
    std::wstring inner = fuzz::ConsumeText(input, 36);
    inner.resize(36, L'0');
    const std::wstring id = L"{" + inner + L"}";
    const int kind = input.ConsumeIntegralInRange(0, 4);
    if (kind == 0) {
      const std::wstring service = kServices + fuzz::ConsumeText(input, 16);
      machine.registry.SetString(kHkeyLocalMachine, service, L"ImagePath", FileOf(input, files));
      machine.registry.SetString(kHkeyLocalMachine, service, L"DisplayName", fuzz::ConsumeText(input, 32));
    } else if (kind == 1) {
      machine.registry.SetString(input.ConsumeBool() ? kHkeyLocalMachine : kHkeyCurrentUser, kRun,
                                 fuzz::ConsumeText(input, 16), FileOf(input, files));
    } else {  // a helper object, a toolbar or an explorer bar: a class and its file
      machine.registry.SetString(kHkeyClassesRoot, L"CLSID\\" + id + L"\\InProcServer32", L"", FileOf(input, files));
      if (kind == 2) machine.registry.SetString(kHkeyLocalMachine, kBHOs + id, L"", L"Helper");
      if (kind == 3) machine.registry.SetString(kHkeyLocalMachine, kToolbars, id, L"");
      if (kind == 4) machine.registry.CreateKey(kHkeyClassesRoot, L"CLSID\\" + id + L"\\Implemented Categories\\" + kVerticalBars);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  MWDL::gsVersion = L"2.0.24";
  MAPI::gbIsNT = true;
  MAPI::gbIsNT4 = false;
  xmlInitParser();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  // The user's and the system's texts: OS, CPU, computer name, comments, name, e-mail address.
  std::wstring texts[6];
  for (auto& text : texts) text = fuzz::ConsumeText(input, 64);
  const std::wstring separator = fuzz::ConsumeText(input, 4);
  platform::FakeMachine machine;
  machine.system.SetTimeSeparator(separator);
  MakeMachine(input, machine);
  MWDL::goRegistry = std::make_shared<CRegistry>();
  MWDL::goFilenameResolver = std::make_shared<CFilenameResolver>();
  MWDL::goHashier = std::make_shared<CHashier>();
  MWDL::goFileInfoManager = std::make_shared<CFileInfoManager>();

  QuietProgressor progressor;
  const std::wstring xml =
      CReporter().MakeStateXML(progressor, texts[0], texts[1], texts[2], texts[3], texts[4], texts[5]);
  FUZZ_CHECK(!xml.empty());
  fuzz::EachCharacter(xml, [](std::uint32_t c) {
    FUZZ_CHECK(c != L'\r' && c != L'\n');  // one line
    FUZZ_CHECK(IsXmlChar(c));
  });

  const std::string utf8 = qn::ToUtf8(xml);
  int errors = 0;
  xmlSetStructuredErrorFunc(&errors, CountError);
  xmlDocPtr doc = xmlReadMemory(utf8.data(), static_cast<int>(utf8.size()), "state.xml", "UTF-8", XML_PARSE_NONET);
  xmlSetStructuredErrorFunc(nullptr, nullptr);
  FUZZ_CHECK(doc != nullptr && errors == 0);
  std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> owner(doc, xmlFreeDoc);

  xmlNodePtr root = xmlDocGetRootElement(doc);
  FUZZ_CHECK(root != nullptr && Utf8(root->name) == "xml");
  const std::vector<xmlNodePtr> sections = Elements(root);
  FUZZ_CHECK(sections.size() == std::size(kSections));
  for (std::size_t i = 0; i < sections.size(); ++i) FUZZ_CHECK(Utf8(sections[i]->name) == kSections[i]);

  const std::vector<xmlNodePtr> meta = Elements(sections[0]);
  FUZZ_CHECK(meta.size() == std::size(kMeta));
  for (std::size_t i = 0; i < meta.size(); ++i) {
    FUZZ_CHECK(Utf8(meta[i]->name) == kMeta[i]);
    if (i < 6) FUZZ_CHECK(Owned(xmlNodeGetContent(meta[i])) == Kept(texts[i]));  // as typed, nothing lost
  }
  FUZZ_CHECK(Owned(xmlNodeGetContent(meta[6])) == "2.0.24");
  FUZZ_CHECK(Owned(xmlNodeGetContent(meta[7])) == "2024-01-02 03" + Kept(separator) + "04");  // the double's local time

  // Every index a section names stands in fileinfo, which numbers its entries 1, 2, 3 ...
  const std::vector<xmlNodePtr> fileinfo = Elements(sections[8]);
  for (std::size_t i = 0; i < fileinfo.size(); ++i) FUZZ_CHECK(Attribute(fileinfo[i], "x") == std::to_string(i + 1));
  for (std::size_t s = 1; s < 8; ++s) {
    for (xmlNodePtr entry : Elements(sections[s])) {
      std::vector<xmlNodePtr> named{entry};
      if (s == 7) {
        for (xmlNodePtr module : Elements(entry)) named.push_back(module);
      }
      for (xmlNodePtr element : named) {
        const std::string x = Attribute(element, "x");
        FUZZ_CHECK(!x.empty() && x.size() < 10 && x.find_first_not_of("0123456789") == std::string::npos);
        FUZZ_CHECK(std::stoul(x) >= 1 && std::stoul(x) <= fileinfo.size());
      }
    }
  }
  return 0;
}
