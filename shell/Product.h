#pragma once
// The product's addresses, chosen once here.
namespace product {
inline constexpr const wchar_t kWebSite[] = L"http://wardline.net/";
inline constexpr const wchar_t kSupportEmail[] = L"support@wardline.net";
// Host of the vendor's submission endpoint (path "/php/ic.php").
inline constexpr const wchar_t kSubmissionHost[] = L"submit.wardline.net";
inline constexpr int kVersionMajor = 2;
inline constexpr int kVersionMinor = 0;
inline constexpr int kVersionRevision = 24;
}  // namespace product
