#pragma once

// What a long job sees of the progress dialog it runs in: it reports progress and polls for a cancel.
// FProgressor is the program's one implementation; the workers (detector, state report, remover) take
// this interface so that their tests can drive them with a progressor of their own.
class IProgressor {
 public:
  virtual ~IProgressor() = default;
  // Shows `Percent` (0 to 100; other values leave the display as it was) and lets pending window
  // messages run once, which is where a click on Cancel is served. Never fails.
  virtual void Progress(double Percent) = 0;
  // True once the user asked to cancel since the dialog was shown.
  virtual bool Cancelled() const = 0;
};
