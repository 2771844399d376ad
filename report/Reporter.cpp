#include "report/Reporter.h"

#include <cstdio>
#include <functional>
#include <string_view>
#include <utility>

#include "common/Error.h"
#include "common/Logger.h"
#include "common/Utilities.h"
#include "inspection/FileInfoManager.h"
#include "inspection/Hashier.h"
#include "platform/Platform.h"
#include "shell/MWDL.h"

namespace {

// One section writer under its own error handler: an error logs under `source` and empties the whole
// section, not only the part after the error.
std::wstring Section(const wchar_t* source, const std::function<std::wstring()>& writer) {
  try {
    return writer();
  } catch (...) {
    MWDL::LogError(CurrentError(), kLogError, source);
    return L"";
  }
}

// A collection the compilation did not reach (or an enumerator returned as no list): walking it is the
// "object not set" error of the writer that walks it.
template <class T>
T& Walk(const std::shared_ptr<T>& object) { return Required(object); }

std::wstring Escape(const std::wstring& text) { return Utilities().EscapeXML(text); }

// The entries are written piece by piece into the section, as FormatString would fill their templates
// (decimal digits for numbers, the escaped text as it is), without a template to read or a string to
// make for each entry.
void AppendNumber(std::wstring& out, std::int32_t value) {
  wchar_t digits[12];
  wchar_t* p = digits + 12;
  std::uint32_t magnitude = value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
  do {
    *--p = static_cast<wchar_t>(L'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) *--p = L'-';
  out.append(p, digits + 12);
}

// `before`, the number, `after`: "<f x='" 12 "'/>".
void AppendEntry(std::wstring& out, const wchar_t* before, std::int32_t value, const wchar_t* after) {
  out += before;
  AppendNumber(out, value);
  out += after;
}

void AppendText(std::wstring& out, const wchar_t* before, const std::wstring& text, const wchar_t* after) {
  out += before;
  out += text;
  out += after;
}

// "yyyy-mm-dd hh:mm" with the time separator of the regional settings.
std::wstring SentText(const platform::LocalTime& t, const std::wstring& separator) {
  wchar_t date[32];
  std::swprintf(date, 32, L"%04d-%02d-%02d %02d", t.year, t.month, t.day, t.hour);
  wchar_t minutes[8];
  std::swprintf(minutes, 8, L"%02d", t.minute);
  return date + separator + minutes;
}

void PendingMessages() { Utilities().DoEventsEx(); }

// Clears the reporter's progressor when the call ends, however it ends.
struct Holding {
  IProgressor*& slot;
  ~Holding() { slot = nullptr; }
};

}  // namespace

std::wstring CReporter::MakeStateXML(IProgressor& Progressor, const std::wstring& OSType, const std::wstring& CPUType,
                                     const std::wstring& ComputerName, const std::wstring& Comments,
                                     const std::wstring& YourName, const std::wstring& YourEmail) {
  moProgressor = &Progressor;
  Holding holding{moProgressor};
  try {
    if (Progressor.Cancelled()) return L"";
    Progressor.Progress(5);
    SystemState state;
    CPaDetector().CompileSystemState(Progressor, 5, 19, state);

    if (Progressor.Cancelled()) return L"";
    Progressor.Progress(19);
    moFileIndex = CKeyedCollection<std::int32_t>();
    const std::wstring meta = MakeMetaXML(OSType, CPUType, ComputerName, Comments, YourName, YourEmail);

    if (Progressor.Cancelled()) return L"";
    Progressor.Progress(20);
    const std::wstring fileinfo = MakeFileInfoXML(state.oCommonFileList);

    if (Progressor.Cancelled()) return L"";
    Progressor.Progress(90);
    // Written in this order, standing in the document in another.
    const std::wstring suspicious = MakeSuspiciousFileXML(state.oSuspiciousFileList);
    const std::wstring services = MakeServicesFileXML(state.oServices);
    const std::wstring startups = MakeStartupsXML(state.oStartups);
    const std::wstring bhos = MakeBHOsXML(state.oBHOs);
    const std::wstring toolbars = MakeToolbarsXML(state.oToolbars);
    const std::wstring explorerbars = MakeExplorerBarsXML(state.oExplorerBars);
    const std::wstring processes = MakeProcessesXML(state.oProcesses);

    if (Progressor.Cancelled()) return L"";
    Progressor.Progress(91);
    // The blank before "</toolbars>" is part of the format the vendor reads.
    const std::pair<const wchar_t*, const std::wstring*> parts[] = {
        {L"<xml><meta>", &meta},           {L"</meta><suspicious>", &suspicious},
        {L"</suspicious><startups>", &startups}, {L"</startups><bhos>", &bhos},
        {L"</bhos><toolbars>", &toolbars},  {L" </toolbars><explorerbars>", &explorerbars},
        {L"</explorerbars><services>", &services}, {L"</services><processes>", &processes},
        {L"</processes><fileinfo>", &fileinfo}};
    constexpr wchar_t kEnd[] = L"</fileinfo></xml>";
    std::size_t length = std::wstring_view(kEnd).size();
    for (const auto& [tag, content] : parts) length += std::wstring_view(tag).size() + content->size();
    std::wstring document;
    document.reserve(length);
    for (const auto& [tag, content] : parts) (document += tag) += *content;
    return document += kEnd;
  } catch (...) {
    MWDL::LogError(CurrentError(), kLogError, L"CReporter.MakeStateXML");
    return L"";
  }
}

std::wstring CReporter::MakeMetaXML(const std::wstring& OSType, const std::wstring& CPUType,
                                    const std::wstring& ComputerName, const std::wstring& Comments,
                                    const std::wstring& YourName, const std::wstring& YourEmail) {
  // No handler of its own: an error here is an error of MakeStateXML.
  // The separator is the user's own regional setting, any text: escaped, so that it cannot break the
  // document the way an unescaped "<" or line break would.
  const std::wstring sent = SentText(platform::System().Now(), Escape(platform::System().TimeSeparator()));
  return L"<os>" + Escape(OSType) + L"</os><cpu>" + Escape(CPUType) + L"</cpu><pcname>" + Escape(ComputerName) +
         L"</pcname><comments>" + Escape(Comments) + L"</comments><yourname>" + Escape(YourName) +
         L"</yourname><youremail>" + Escape(YourEmail) + L"</youremail><appversion>" + Escape(MWDL::gsVersion) +
         L"</appversion><sent>" + sent + L"</sent>";
}

std::wstring CReporter::MakeFileInfoXML(const std::shared_ptr<CFileNameList>& oCommonFileList) {
  return Section(L"CReporter.MakeFileInfoXML", [&] {
    const CFileNameList& files = Walk(oCommonFileList);
    CHashier& hashier = Walk(MWDL::goHashier);
    CFileInfoManager& fileInfo = Walk(MWDL::goFileInfoManager);
    const std::size_t n = files.Count();
    std::int32_t i = 0;
    std::wstring result;
    for (const std::wstring& f : files) {
      PendingMessages();
      ++i;
      moFileIndex.Add(i, f);
      if (i % 10 == 0) {
        if (moProgressor->Cancelled()) return std::wstring();
        moProgressor->Progress(20.0 + static_cast<double>(i) / static_cast<double>(n) * 70.0);
      }
      std::int32_t size = 0;
      const std::int32_t checksum = hashier.HashFromFullFileName(f, size);
      std::wstring maker, description;
      fileInfo.GetFileInfo(f, maker, &description);

      // "<f x='%1' i='%2' s='%3' h='%4'", then " d='%1'" and " m='%1'" when not empty, then "/>".
      AppendEntry(result, L"<f x='", i, L"' i='");
      result += Escape(f);
      AppendEntry(result, L"' s='", size, L"' h='");
      AppendEntry(result, L"", checksum, L"'");
      if (!description.empty()) AppendText(result, L" d='", Escape(description), L"'");
      if (!maker.empty()) AppendText(result, L" m='", Escape(maker), L"'");
      result += L"/>";
    }
    return result;
  });
}

std::int32_t CReporter::IndexOf(const std::wstring& file) const { return moFileIndex.Item(file); }

std::wstring CReporter::MakeSuspiciousFileXML(const std::shared_ptr<CFileNameList>& oSuspiciousFileList) {
  return Section(L"CReporter.MakeSuspiciousFileXML", [&] {
    std::wstring result;
    for (const std::wstring& f : Walk(oSuspiciousFileList)) {
      PendingMessages();
      AppendEntry(result, L"<f x='", IndexOf(f), L"'/>");
    }
    return result;
  });
}

std::wstring CReporter::MakeServicesFileXML(const std::shared_ptr<CItemList>& oServices) {
  return Section(L"CReporter.MakeServicesFileXML", [&] {
    std::wstring result;
    for (const auto& service : Walk(oServices)) {
      PendingMessages();
      // A service item's only property is "DisplayName".
      const std::wstring displayName = service->Properties().Item(1).Text();
      const std::int32_t x = IndexOf(service->Name);
      if (displayName.empty()) {
        AppendEntry(result, L"<f x='", x, L"'/>");
      } else {
        AppendEntry(result, L"<f x='", x, L"'");
        AppendText(result, L" d='", Escape(displayName), L"'/>");
      }
    }
    return result;
  });
}

std::wstring CReporter::MakeExtensionXML(const std::shared_ptr<CItemList>& items, bool skipEmpty) {
  std::wstring result;
  for (const auto& item : Walk(items)) {
    PendingMessages();
    const std::wstring file = item->Properties().Item(L"DLL").Text();
    if (skipEmpty && file.empty()) continue;
    AppendEntry(result, L"<f x='", IndexOf(file), L"'/>");
  }
  return result;
}

std::wstring CReporter::MakeStartupsXML(const std::shared_ptr<CItemList>& oStartups) {
  return Section(L"CReporter.MakeStartupsXML", [&] { return MakeExtensionXML(oStartups, false); });
}

std::wstring CReporter::MakeBHOsXML(const std::shared_ptr<CItemList>& oBHOs) {
  return Section(L"CReporter.MakeBHOsXML", [&] { return MakeExtensionXML(oBHOs, false); });
}

std::wstring CReporter::MakeToolbarsXML(const std::shared_ptr<CItemList>& oToolbars) {
  return Section(L"CReporter.MakeToolbarsXML", [&] { return MakeExtensionXML(oToolbars, true); });
}

std::wstring CReporter::MakeExplorerBarsXML(const std::shared_ptr<CItemList>& oExplorerBars) {
  return Section(L"CReporter.MakeExplorerBarsXML", [&] { return MakeExtensionXML(oExplorerBars, true); });
}

std::wstring CReporter::MakeProcessesXML(const std::shared_ptr<CItemList>& oProcesses) {
  return Section(L"CReporter.MakeProcessesXML", [&] {
    std::wstring result;
    for (const auto& process : Walk(oProcesses)) {
      // An error anywhere empties the whole section, so each block goes straight into it.
      AppendEntry(result, L"<p x='", IndexOf(process->Name), L"'>");
      // Pending messages per module, not per process.
      for (const auto& module : process->Children()) {
        PendingMessages();
        AppendEntry(result, L"<m x='", IndexOf(module->Name), L"'/>");
      }
      result += L"</p>";
    }
    return result;
  });
}
