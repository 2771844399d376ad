#pragma once
#include <gtest/gtest.h>

#include <memory>

#include "tests/doubles/FakeMachine.h"
#include "ui/Backend.h"
#include "ui/Headless.h"

// A fresh in-memory machine and a fresh headless toolkit for each test. The desktop's DoEvents runs the
// toolkit's pump, so code that pumps through the platform reaches the windows too.
class UiHeadlessTest : public ::testing::Test {
 protected:
  UiHeadlessTest() {
    auto backend = std::make_unique<ui::HeadlessBackend>();
    headless = backend.get();
    previous_ = ui::SetBackend(std::move(backend));
    ui::ResetApplication();
    ui::SetUnhandledErrorHandler(nullptr);
    machine.desktop.SetDoEventsHook([] { ui::DoEvents(); });
  }
  ~UiHeadlessTest() override {
    ui::SetUnhandledErrorHandler(nullptr);
    ui::ResetApplication();
    ui::SetBackend(std::move(previous_));
  }

  platform::FakeMachine machine;
  ui::HeadlessBackend* headless = nullptr;

 private:
  std::unique_ptr<ui::IBackend> previous_;
};
