#pragma once
#include <gtest/gtest.h>

#include <memory>

#include "tests/doubles/FakeMachine.h"
#include "tests/headless/HeadlessBackend.h"
#include "ui/Backend.h"

// A fresh in-memory machine and a fresh headless toolkit for each test: installing the backend starts a
// run of the program. The desktop's DoEvents runs the toolkit's pump, so code that pumps through the
// platform reaches the windows too.
class UiHeadlessTest : public ::testing::Test {
 protected:
  UiHeadlessTest() {
    auto backend = std::make_unique<ui::HeadlessBackend>();
    headless = backend.get();
    previous_ = ui::SetBackend(std::move(backend));
    ui::SetUnhandledErrorHandler(nullptr);
    machine.desktop.SetDoEventsHook([] { ui::DoEvents(); });
  }
  ~UiHeadlessTest() override {
    ui::SetUnhandledErrorHandler(nullptr);
    ui::SetBackend(std::move(previous_));
  }

  // Starts the next run of the program on the same backend, whose scripts and records stay.
  static void NewRun() { ui::SetBackend(ui::SetBackend(nullptr)); }

  platform::FakeMachine machine;
  ui::HeadlessBackend* headless = nullptr;

 private:
  std::unique_ptr<ui::IBackend> previous_;
};
