// G events on the seek slider: a worker reads the opened recording's G-sensor
// records (vehicle::ScanGEvents at the "WaveConfig" threshold), and a mark is
// drawn on the slider at each event's second; a click within 3 pixels of a
// mark seeks there (0x470 to the window, as the slider does).
#pragma once

#include <QWidget>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "controls/bitmap_slider.h"
#include "media/ac_sync.h"
#include "vehicle/g_events.h"

namespace corvane {

// "WaveConfig" key of the threshold, in hundredths of a G.
inline constexpr char kKeyGEventThreshold[] = "GEventThreshold";

class CGEventMarks : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kHitPixels = 3;
  // An overlay on `slider`; seeks go to `window`.
  CGEventMarks(controls::CBitmapSlider* slider, QObject* window);
  ~CGEventMarks() override;  // cancels and joins the worker

  // Scans `path` for G events (an empty path or an AVI file clears the
  // marks). A scan still running is cancelled first.
  void Scan(const std::string& path);
  // Cancels and joins the worker.
  void Stop();

  const std::vector<vehicle::GEvent>& Events() const { return events_; }
  // The slider's x of an event's mark.
  int MarkX(const vehicle::GEvent& e) const;
  bool Scanning() const { return scanning_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void Done(unsigned serial, std::vector<vehicle::GEvent> events);

  controls::CBitmapSlider* slider_;
  QObject* window_;
  std::vector<vehicle::GEvent> events_;  // window's thread
  bool scanning_ = false;                // window's thread
  unsigned serial_ = 0;                  // window's thread: the scan whose result counts
  media::ACThread worker_;
  std::atomic<bool> cancel_{false};
  std::mutex postMutex_;  // guards alive_ against the destructor while posting
  bool alive_ = true;
};

}  // namespace corvane
