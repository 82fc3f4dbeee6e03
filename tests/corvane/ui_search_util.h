// Shared by the search, calendar and dialog tests of the window: a record
// tree made by krvtool (synth-folder plus a few recordings of its own), the
// krvtool oracles, and a driver of modal dialogs and message boxes.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "../tools/krvtool_run.h"
#include "ui_test_util.h"

namespace corvane::uitest {

// The tree: `krvtool synth-folder` (176x144) under synth/; under extra/ two
// KRV recordings across the turn of 2013 (`krvtool synth --start`, car
// "B.777" and the default) and an AVI period 2024-03-16 20:00:00 of channels
// 2 and 3, 10 s with a key frame every 3 s; two files no probe can read
// under junk/. Made once per build folder.
const std::string& SearchTree();

// The paths `krvtool list` prints for the tree with these filters, in order.
std::vector<std::string> KrvtoolListPaths(const std::string& dir, uint32_t types, int64_t from, int64_t to,
                                          const std::string& car);

// The paths of the window's list, in order.
std::vector<std::string> ListedPaths(CCorvaneDlg* dlg);

// Seconds since 1970 of 00:00 UTC of a date.
int64_t UtcDay(int year, int month, int day);

// Answers every message box (recording its text) and runs the given steps,
// one each time a modal widget of the step's class is active.
class ModalDriver {
 public:
  ModalDriver();
  ~ModalDriver();
  template <class T>
  void When(std::function<void(T*)> step) {
    steps_.push_back([step](QWidget* w) {
      T* t = qobject_cast<T*>(w);
      if (!t) return false;
      step(t);
      return true;
    });
  }
  const std::vector<QString>& messages() const { return messages_; }
  bool StepsDone() const { return steps_.empty(); }

 private:
  void Tick();
  QTimer timer_;
  std::deque<std::function<bool(QWidget*)>> steps_;
  std::vector<QString> messages_;
  bool inStep_ = false;
};

}  // namespace corvane::uitest
