#include "controls/color_list_ctrl.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMouseEvent>

#include "controls/control_id.h"

namespace controls {

CColorListCtrl::CColorListCtrl(int controlId, QWidget* parent) : QTreeWidget(parent) {
  SetControlId(this, controlId);
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setAlternatingRowColors(true);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setIconSize(QSize(68, 17));
  QFont f = font();
  f.setPixelSize(10);
  setFont(f);
  header()->setStretchLastSection(false);
  header()->setSectionsMovable(false);
  setStyleSheet(QStringLiteral(
      "QTreeWidget { background: #F4F8FC; alternate-background-color: #E2ECF4; color: #1A2A3A; }"
      "QTreeWidget::item { padding: 0px; }"
      "QTreeWidget::item:selected { background: #0272BA; color: white; }"
      "QHeaderView::section { background: #3A6E9A; color: white; border: 0px; padding: 2px; }"));
}

void CColorListCtrl::SetColumns(const QList<Column>& columns) {
  columns_ = columns;
  setColumnCount(columns.size());
  QStringList headers;
  for (const Column& c : columns) headers << c.header;
  setHeaderLabels(headers);
  for (int i = 0; i < columns.size(); ++i) {
    setColumnWidth(i, columns[i].widthPx);
    setColumnHidden(i, columns[i].widthPx == 0);
    headerItem()->setTextAlignment(i, columns[i].centred ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
  }
}

void CColorListCtrl::SetHeaderTexts(const QStringList& texts) {
  for (int i = 0; i < texts.size() && i < columnCount(); ++i) headerItem()->setText(i, texts[i]);
}

bool CColorListCtrl::RowSelected(int row) const {
  QTreeWidgetItem* item = Row(row);
  return item && item->isSelected();
}

void CColorListCtrl::SelectRow(int row, bool selected) {
  if (QTreeWidgetItem* item = Row(row)) item->setSelected(selected);
}

void CColorListCtrl::DeselectAll() { clearSelection(); }

int CColorListCtrl::FirstSelectedRow() const {
  for (int i = 0; i < RowCount(); ++i)
    if (Row(i)->isSelected()) return i;
  return -1;
}

void CColorListCtrl::EnsureRowVisible(int row) {
  if (QTreeWidgetItem* item = Row(row)) scrollToItem(item);
}

void CColorListCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
  QTreeWidget::mouseDoubleClickEvent(event);
  if (event->button() != Qt::LeftButton) return;
  QTreeWidgetItem* item = itemAt(event->position().toPoint());
  if (item) emit RowDoubleClicked(indexOfTopLevelItem(item));
}

void CColorListCtrl::contextMenuEvent(QContextMenuEvent* event) {
  QTreeWidgetItem* item = itemAt(event->pos());
  if (item) emit RowContextMenu(indexOfTopLevelItem(item), event->globalPos());
}

}  // namespace controls
