#include <tuple>
#include <vector>

#include "shell/FProgressor.h"
#include "tests/native/UiHeadlessFixture.h"

namespace {

using ShellProgressorWindow = UiHeadlessTest;

// Values outside the range are ignored and still pump.
TEST_F(ShellProgressorWindow, StartedRunsTheJobAndTheModalShowEndsWhenItReturns) {
  FProgressor dialog;
  dialog.Init(L"line one", L"line two");
  std::vector<double> seen;
  int started = 0;
  dialog.Started = [&] {
    ++started;
    EXPECT_TRUE(dialog.Visible());
    EXPECT_EQ(machine.desktop.MousePointer(), platform::kPointerHourglass);
    for (double p : {10.0, 100.0, 50.0, 150.0, -5.0, 1e300}) {
      const int before = headless->DoEventsCount();
      dialog.Progress(p);
      seen.push_back(dialog.pb.Value());
      EXPECT_EQ(headless->DoEventsCount(), before + 1) << p;
    }
  };
  dialog.ShowProgress(true, nullptr);
  EXPECT_EQ(started, 1);
  EXPECT_EQ(seen, (std::vector<double>{10, 100, 50, 50, 50, 50}));
  EXPECT_EQ(std::tie(dialog.lblLine1.Caption(), dialog.lblLine2.Caption()), std::tuple(L"line one", L"line two"));
  EXPECT_FALSE(dialog.Loaded());
  EXPECT_EQ(machine.desktop.MousePointer(), platform::kPointerDefault);
}

TEST_F(ShellProgressorWindow, CancelIsSeenFromTheNextProgressOn) {
  FProgressor dialog;
  bool pressCancel = false;
  headless->onIdle = [&] {
    if (pressCancel) dialog.cmdCancel.PerformClick();
    pressCancel = false;
  };
  std::vector<bool> cancelled;
  int cancelEvents = 0;
  dialog.Cancel = [&] { ++cancelEvents; };
  dialog.Started = [&] {
    cancelled.push_back(dialog.Cancelled());
    dialog.Progress(10);
    cancelled.push_back(dialog.Cancelled());
    pressCancel = true;  // the click waits for the job's next Progress
    cancelled.push_back(dialog.Cancelled());
    dialog.Progress(20);
    cancelled.push_back(dialog.Cancelled());
    EXPECT_TRUE(dialog.Visible());  // the dialog stays until the job returns
  };
  dialog.ShowProgress(true);
  EXPECT_EQ(cancelled, (std::vector<bool>{false, false, false, true}));
  EXPECT_EQ(cancelEvents, 1);
  EXPECT_TRUE(dialog.Cancelled());  // kept after the dialog has closed
}

TEST_F(ShellProgressorWindow, EnterAndEscapePressCancel) {
  for (int key : {ui::kKeyEnter, ui::kKeyEscape}) {
    FProgressor dialog;
    headless->onIdle = [&] { dialog.UserKeyPress(key); };
    dialog.Started = [&] { dialog.Progress(5); };
    dialog.ShowProgress(true);
    EXPECT_TRUE(dialog.Cancelled()) << key;
  }
}

TEST_F(ShellProgressorWindow, StartedComesOncePerShowingWithCancelledClearedAfterACancelledRun) {
  FProgressor dialog;
  std::vector<bool> cancelledAtStart;
  dialog.Started = [&] {
    cancelledAtStart.push_back(dialog.Cancelled());
    dialog.Activated();  // a message box during the job activates the dialog again
    if (cancelledAtStart.size() == 1) dialog.cmdCancel.PerformClick();
  };
  dialog.ShowProgress(true);
  ASSERT_TRUE(dialog.Cancelled());
  dialog.ShowProgress(true);
  EXPECT_EQ(cancelledAtStart, (std::vector<bool>{false, false}));
  EXPECT_FALSE(dialog.Cancelled());
}

TEST_F(ShellProgressorWindow, FinalizeTwiceDoesNoHarm) {
  FProgressor dialog;
  dialog.Load();
  dialog.Finalize();
  dialog.Finalize();
  EXPECT_FALSE(dialog.Loaded());
  EXPECT_EQ(machine.desktop.MousePointer(), platform::kPointerDefault);
}

TEST_F(ShellProgressorWindow, ModelessShowReturnsAtOnceOwnedByTheOwner) {
  ui::Form owner(L"FOwner");
  owner.Load();
  FProgressor dialog;
  int started = 0;
  dialog.Started = [&] { ++started; };
  dialog.ShowProgress(false, &owner);
  EXPECT_EQ(started, 1);
  EXPECT_EQ(dialog.Owner(), &owner);
  EXPECT_TRUE(dialog.Loaded());
}

}  // namespace
