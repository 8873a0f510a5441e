#pragma once
// The scene grid's view. Tab and Shift+Tab move between cells as in any data
// grid, and out of the grid from its last cell (Tab) or its first cell
// (Shift+Tab), also while a cell is being edited, so the keyboard can leave
// it as it leaves any other control of the window.
#include <QTableView>

namespace veltra {

class SceneGridView : public QTableView {
  Q_OBJECT
 public:
  using QTableView::QTableView;

 protected:
  bool focusNextPrevChild(bool next) override;
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

 private:
  // Whether moving on (next) or back from the current cell leaves the grid.
  bool AtEdge(bool next) const;
};

}  // namespace veltra
