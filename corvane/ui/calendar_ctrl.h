// The recording calendar in the lower panel: a header with the year and
// month and their arrows, a strip of the shown month's days (the days with
// recordings filled), a ruler of twelve columns that zooms from a day to two
// hours to twelve minutes, and a time strip with one bar per recording of the
// shown window, a colour per channel and one for KRV recordings.
//
// A click on a bar asks the owner (the main window) to open that recording
// at the clicked moment: the calendar posts 0x484 with wParam = the number of
// its open request and lParam = the offset in seconds; the owner takes the
// request's path with TakeOpenRequest. The calendar keeps copies of what it
// was given, never the list's entries, so a new scan or a search cannot
// leave it naming a freed one.
#pragma once

#include <QObject>
#include <QRect>
#include <QWidget>
#include <cstdint>
#include <string>

#include "core/calendar_model.h"

namespace corvane {

class CDVRCalendarCtrl : public QWidget {
  Q_OBJECT
 public:
  explicit CDVRCalendarCtrl(QWidget* parent);

  // The receiver of the open message (0x484).
  void SetOwner(QObject* owner) { owner_ = owner; }

  bool Begin(std::size_t count) { return model_.Begin(count); }
  bool Add(int64_t start, int64_t duration, int32_t channel, RecordTypeMask typeMask, std::string path) {
    return model_.Add(start, duration, channel, typeMask, std::move(path));
  }
  void End();

  // The path of the open request `serial` when it is the latest one; the
  // request is used up.
  bool TakeOpenRequest(intptr_t serial, std::string* path);

  const CalendarModel& model() const { return model_; }
  // The areas, in the calendar's coordinates.
  QRect PreviousYearRect() const;
  QRect NextYearRect() const;
  QRect PreviousMonthRect() const;
  QRect NextMonthRect() const;
  QRect DayStripRect() const;
  QRect RulerRect() const;
  QRect TimeStripRect() const;
  // The row of the time strip that holds a channel's bars (KRV, 1-4).
  QRect LaneRect(int32_t channel) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  int HeaderHeight() const;
  int DayStripHeight() const;
  int RulerHeight() const;

  CalendarModel model_;
  QObject* owner_ = nullptr;
  intptr_t openSerial_ = 0;
  std::string openPath_;
  bool openPending_ = false;
};

}  // namespace corvane
