#pragma once
#include <functional>

#include "common/Error.h"

// The number of the program's error that `call` raises; 0 when it raises none.
inline long ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const CError& e) {
    return e.Number();
  }
  return 0;
}
