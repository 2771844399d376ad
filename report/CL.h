#pragma once
#include <cstdint>
#include <string>

#include "common/Items.h"

// The submission client: sends one message to the vendor, a subject and a set of named values. It packs
// both into a request file (a property bag with "cat", "id" and "dat"), zips it, turns the zip into text
// and posts it with the subject and a new request identifier as a form to
// "http://" + product::kSubmissionHost + "/php/ic.php", then waits at most kWaitSeconds for the answer.
// docs/formats.md describes every form on the way. It holds nothing between calls and logs nothing:
// its callers log a failed send.
class CL {
 public:
  static constexpr std::uint32_t kWaitSeconds = 300;
  // The reason given when the wait ended with no connection made or an answer still arriving.
  static constexpr const wchar_t* kCannotSend = L"Cannot send. ";

  // Sends the message: `Category` with every "/" turned into "\" is the subject, `o` the values. The
  // wait ends when the request is complete (readyState 4) or at its deadline. True when the endpoint
  // answered with the status 200, 206, 302 or 304; then `FalseCouse` is left as passed, and both
  // temporary files (the request file in the temporary folder and the zip) stay. False otherwise, with
  // the reason in `FalseCouse`:
  // - at the deadline no connection made (readyState 1) or the answer still arriving (3): the request
  //   is aborted; kCannotSend; the files stay;
  // - another status: the answer's status text as it stands (possibly empty); the files stay;
  // - an error on the way (files, zip library, HTTP object, a status that the state reached cannot
  //   give): the error's description; both temporary files are deleted. (Wine's request object stays
  //   in state 2 when it cannot connect or gets no answer, so such a send ends here at the deadline.)
  // The zip is copied to "Request.dat" in the program's folder once it has been read back (a failed
  // copy is passed over); that copy is never deleted. `Category` and `o` are not changed.
  bool Do1(const std::wstring& Category, const CProperties& o, std::wstring& FalseCouse);

 private:
  // The form-value encoding: "+" -> "%2B", CR -> "%0D", LF -> "%0A", "\" -> "%5C", in this order and at
  // every occurrence; every other character passes unchanged.
  static std::wstring EncodeFormValue(const std::wstring& Text);
};
