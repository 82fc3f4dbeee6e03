// Window messages of the system and the sink that receives posted ones.
//
// Threads below the window never call it: they post a message (number,
// wParam, lParam) to a sink. The window's sink turns each post into a QEvent
// of the message's number on the window's own thread; tests and krvtool
// record them. The numbers are the system's contract between its parts.
#pragma once

#include <cstdint>

namespace media {

constexpr uint32_t WM_USER = 0x400;

enum ACMessage : uint32_t {
  WM_CHANNEL_COUNT = 0x46A,     // layout -> main window: returns channelCount
  WM_PANE_QUERY = 0x46B,        // layout -> main window: returns paneQuery
  WM_LAYOUT_NOTICE_46C = 0x46C, // layout -> main window: no effect
  WM_PANE_SELECTED = 0x46F,     // layout -> main window: wParam = selected channel; no effect
  WM_SEEK = 0x470,              // seek slider -> main window: lParam = target second
  WM_PLAY_TIME = 0x471,         // clock -> main window: wParam = length s, lParam = second or marker
  WM_PLAY_NEXT = 0x472,         // main window -> itself: advance to the next recording
  WM_AUDIO_CHANNEL = 0x47E,     // layout -> main window: wParam = audio channel (-10 none)
  WM_LOWER_PANEL_LEVEL = 0x480, // panel -> main window: wParam = level 1-3, 0 = next
  WM_CHART_REFRESH = 0x481,     // chart -> itself: refresh the read-out
  WM_CHART_APPEND = 0x482,      // chart -> itself (sent): append a point
  WM_RECORDING_OPENED = 0x483,  // reader -> lower panel: apply the recording start time
  WM_CALENDAR_OPEN = 0x484,     // calendar -> main window: wParam = its open request's number, lParam = offset s
  WM_EXPORT = 0x485,            // export -> main window: wParam = start s, lParam = end s
  WM_EXPORT_PROGRESS = 0x486,   // reader -> progress dialog: wParam = percent
  WM_SELECTED_PANE = 0x487,     // export -> main window: *wParam receives the selected pane
  WM_MIXER_VOLUME = 0x3D1,      // mixer -> main window: volume changed outside
  WM_SLIDER_MOVED = 0x28D1,     // bitmap slider -> parent: wParam = slider id, lParam = position
  WM_SLIDER_MOVED_END = 0x28D2, // bitmap slider -> parent: the same at the end of a drag
};

// Receiver of posted messages. PostMessage never blocks and may be called
// from any thread; the message is handled later on the receiver's thread.
class ACMessageSink {
 public:
  virtual ~ACMessageSink() = default;
  virtual void PostMessage(uint32_t message, intptr_t wParam, intptr_t lParam) = 0;
};

}  // namespace media
