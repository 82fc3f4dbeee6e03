// Control ids of the dialog templates. Each control keeps its id as the
// dynamic property "controlId", so a dialog finds its controls by id (the
// language texts of a dialog are keyed by them).
#pragma once

#include <QList>
#include <QWidget>

namespace controls {

inline constexpr char kControlIdProperty[] = "controlId";

void SetControlId(QWidget* control, int id);
// 0 when the widget has no id.
int ControlId(const QWidget* control);
// The dialog's own controls are its direct children: a child dialog's
// controls (numbered by their own template) belong to that dialog.
// The first child of dialog with this id, or null.
QWidget* FindControl(const QWidget* dialog, int id);
// The dialog's children that carry an id, in creation (window) order.
QList<QWidget*> ControlsWithIds(const QWidget* dialog);

}  // namespace controls
