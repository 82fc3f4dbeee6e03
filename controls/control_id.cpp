#include "controls/control_id.h"

#include <QVariant>

namespace controls {

void SetControlId(QWidget* control, int id) {
  control->setProperty(kControlIdProperty, id);
  if (control->objectName().isEmpty()) control->setObjectName(QStringLiteral("IDC_%1").arg(id));
}

int ControlId(const QWidget* control) {
  if (!control) return 0;
  QVariant v = control->property(kControlIdProperty);
  return v.isValid() ? v.toInt() : 0;
}

QList<QWidget*> ControlsWithIds(const QWidget* dialog) {
  QList<QWidget*> out;
  const QList<QWidget*> all = dialog->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
  for (QWidget* w : all)
    if (ControlId(w) != 0) out.append(w);
  return out;
}

QWidget* FindControl(const QWidget* dialog, int id) {
  const QList<QWidget*> all = dialog->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
  for (QWidget* w : all)
    if (ControlId(w) == id) return w;
  return nullptr;
}

}  // namespace controls
