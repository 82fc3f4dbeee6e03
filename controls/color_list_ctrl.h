// The coloured report list: rows of text columns with a picture in one
// column, full-row selection, a coloured header and alternating row colours.
#pragma once

#include <QTreeWidget>

namespace controls {

class CColorListCtrl : public QTreeWidget {
  Q_OBJECT
 public:
  CColorListCtrl(int controlId, QWidget* parent);

  struct Column {
    QString header;
    int widthPx;  // 0 = hidden
    bool centred;
  };
  void SetColumns(const QList<Column>& columns);
  void SetHeaderTexts(const QStringList& texts);

  // Row helpers over the top-level items.
  int RowCount() const { return topLevelItemCount(); }
  QTreeWidgetItem* Row(int row) const { return topLevelItem(row); }
  bool RowSelected(int row) const;
  void SelectRow(int row, bool selected);
  void DeselectAll();
  // The first selected row in list order, -1 when none.
  int FirstSelectedRow() const;
  void EnsureRowVisible(int row);

 signals:
  // A double-click on a row (row index).
  void RowDoubleClicked(int row);
  // A right-click on a row, at a global position.
  void RowContextMenu(int row, QPoint globalPos);

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  QList<Column> columns_;
};

}  // namespace controls
