#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "shell/Progressor.h"

// The dialog as a job sees it: records each progress report (P) and cancel test (C), and presses
// Cancel during the progress report numbered `cancelAt`, or answers that Cancel was pressed from the
// cancel test numbered `cancelFrom` on (both from 1; 0 never).
class ScriptedProgressor : public IProgressor {
 public:
  explicit ScriptedProgressor(std::size_t cancelAt = 0, std::size_t cancelFrom = 0)
      : cancelAt_(cancelAt), cancelFrom_(cancelFrom) {}
  void Progress(double Percent) override {
    values.push_back(Percent);
    events += 'P';
    if (values.size() == cancelAt_) cancelled_ = true;
  }
  bool Cancelled() const override {
    events += 'C';
    if (cancelFrom_ != 0 && ++tests_ >= cancelFrom_) cancelled_ = true;
    return cancelled_;
  }
  std::vector<double> values;
  mutable std::string events;

 private:
  std::size_t cancelAt_;
  std::size_t cancelFrom_;
  mutable std::size_t tests_ = 0;
  mutable bool cancelled_ = false;
};
