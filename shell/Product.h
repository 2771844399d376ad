#pragma once
// The product's addresses, chosen once here.
namespace product {
inline constexpr const wchar_t kWebSite[] = L"http://wardline.net/";
inline constexpr const wchar_t kSupportEmail[] = L"support@wardline.net";
// Host of the vendor's submission endpoint (path "/php/ic.php").
inline constexpr const wchar_t kSubmissionHost[] = L"submit.wardline.net";
// The program's version (2.0.24): the project's version in CMakeLists.txt, which also stamps the version
// data of every binary.
inline constexpr int kVersionMajor = WDL_VERSION_MAJOR;
inline constexpr int kVersionMinor = WDL_VERSION_MINOR;
inline constexpr int kVersionRevision = WDL_VERSION_REVISION;
}  // namespace product
