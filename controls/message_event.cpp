#include "controls/message_event.h"

#include <QCoreApplication>

namespace controls {

bool PostMessageTo(QObject* receiver, uint32_t message, intptr_t wParam, intptr_t lParam) {
  if (!receiver) return false;
  QCoreApplication::postEvent(receiver, new ACMessageEvent(message, wParam, lParam));
  return true;
}

intptr_t SendMessageTo(QObject* receiver, uint32_t message, intptr_t wParam, intptr_t lParam) {
  if (!receiver) return 0;
  ACMessageEvent event(message, wParam, lParam);
  QCoreApplication::sendEvent(receiver, &event);
  return event.result;
}

}  // namespace controls
