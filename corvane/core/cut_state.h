// The cut state of the lower panel: two cut points on the position slider
// that mark the stretch to export. Positions are whole seconds from the
// recording's start; marks are the slider's pixel coordinates of the thumb
// when each point was set (the same pixel twice sets nothing).
#pragma once

#include <utility>

namespace corvane {

class CutState {
 public:
  // 0 no cut point, 1 the first set, 2 both set.
  int State() const { return state_; }
  int StartPosition() const { return startPos_; }
  int EndPosition() const { return endPos_; }
  int StartMark() const { return startMark_; }
  int EndMark() const { return endMark_; }

  // "SetCutPoint" with the thumb at thumbPixel and the slider at position.
  // True when this set the second point (playback then pauses).
  bool Set(int thumbPixel, int position) {
    if (state_ == 0) {
      startMark_ = thumbPixel;
      startPos_ = position;
      state_ = 1;
      return false;
    }
    if (state_ != 1 || thumbPixel == startMark_) return false;
    endMark_ = thumbPixel;
    if (endMark_ < startMark_) std::swap(startMark_, endMark_);
    endPos_ = position;
    if (endPos_ < startPos_) std::swap(startPos_, endPos_);
    state_ = 2;
    return true;
  }

  // "DelCutPoint": 2 forgets the second point, 1 the first, 0 nothing.
  void Delete() {
    if (state_ > 0) --state_;
  }

  // Back to no cut point (a save confirmed, another recording opened).
  void Reset() { state_ = 0; }

 private:
  int state_ = 0;
  int startPos_ = 0;
  int endPos_ = 0;
  int startMark_ = 0;
  int endMark_ = 0;
};

}  // namespace corvane
