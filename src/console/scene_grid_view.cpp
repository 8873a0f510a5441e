#include "console/scene_grid_view.h"

namespace veltra {

bool SceneGridView::AtEdge(bool next) const {
  const QAbstractItemModel* grid = model();
  const QModelIndex current = currentIndex();
  if (!grid || !current.isValid() || grid->rowCount() == 0 || grid->columnCount() == 0) return true;
  if (next) return current.row() == grid->rowCount() - 1 && current.column() == grid->columnCount() - 1;
  return current.row() == 0 && current.column() == 0;
}

bool SceneGridView::focusNextPrevChild(bool next) {
  // The item view would wrap around to the other end of the grid.
  if (tabKeyNavigation() && AtEdge(next)) return QAbstractScrollArea::focusNextPrevChild(next);
  return QTableView::focusNextPrevChild(next);
}

void SceneGridView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
  const bool leave = (hint == QAbstractItemDelegate::EditNextItem && AtEdge(true)) ||
                     (hint == QAbstractItemDelegate::EditPreviousItem && AtEdge(false));
  QTableView::closeEditor(editor, leave ? QAbstractItemDelegate::NoHint : hint);
  if (leave) QAbstractScrollArea::focusNextPrevChild(hint == QAbstractItemDelegate::EditNextItem);
}

}  // namespace veltra
