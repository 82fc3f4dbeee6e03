// A window message as a Qt event: the message number is the event type, and
// the event carries the message's two parameters. A posted message is a
// QEvent posted to the receiver (handled later on the receiver's thread); a
// sent message is a direct call that returns the receiver's result.
#pragma once

#include <QEvent>
#include <QObject>
#include <cstdint>

namespace controls {

class ACMessageEvent : public QEvent {
 public:
  ACMessageEvent(uint32_t message, intptr_t wParam, intptr_t lParam)
      : QEvent(static_cast<QEvent::Type>(message)), wParam(wParam), lParam(lParam) {}

  uint32_t message() const { return static_cast<uint32_t>(type()); }

  const intptr_t wParam;
  const intptr_t lParam;
  // What a sent message returns to its sender.
  intptr_t result = 0;
};

// Posts message to receiver; callable from any thread. False when there is no receiver.
bool PostMessageTo(QObject* receiver, uint32_t message, intptr_t wParam, intptr_t lParam);
// Sends message to receiver on the calling (the receiver's) thread and returns its result.
intptr_t SendMessageTo(QObject* receiver, uint32_t message, intptr_t wParam, intptr_t lParam);

// True when the event is one of ours (a window message, not a Qt event).
inline ACMessageEvent* AsMessage(QEvent* event) { return dynamic_cast<ACMessageEvent*>(event); }

}  // namespace controls
