#pragma once
// "Scene Control": scenes programmed ("Set"), tested and cleared, and the
// grid "Scene Information" over the scene table: a scene that a module
// confirms is stored with the values that were sent, a confirmed "Clear"
// deletes the scenes of the module it went to. The grid's menu deletes the
// current record or, after a question, all of them; records are edited in
// place, added by hand (Insert, or Down on the last row) and deleted from
// the keyboard (Ctrl+Delete, after a question).
#include <QPersistentModelIndex>
#include <QWidget>
#include <array>

#include "console/page_context.h"

class QAction;
class QComboBox;
class QMenu;
class QPushButton;
class QTableView;

namespace veltra {

class SceneTableModel;
class SpinEdit;

class ScenePage : public QWidget {
  Q_OBJECT
 public:
  ScenePage(const PageContext& context, SceneTableModel& scenes, QWidget* parent = nullptr);

  // A record added in the grid and never filled in goes again (the window
  // is closing, or the focus left the grid).
  void DropUntouchedRow();

 private:
  void Build();
  void BuildMenu();
  void BindGrid();
  void Wire();
  // A confirmed "Set" stores the scene that was sent; `lists` are the eight
  // channel items when it was sent (those past "Outputs :" are stored too).
  void StoreSentScene(const ExchangeResult& result, const std::array<int, 8>& lists);
  void AppendRow();
  void DeleteCurrent();
  void DeleteAll();

  PageContext context_;
  SceneTableModel& scenes_;
  SpinEdit* address_ = nullptr;  // SpinEdit5 "Module Addr. :"
  SpinEdit* outputs_ = nullptr;  // SpinEdit6 "Outputs :"
  SpinEdit* scene_ = nullptr;    // SpinEdit4 "Scene No. :"
  std::array<QComboBox*, 8> channels_{};  // ComboBox6 .. ComboBox13
  QPushButton* set_ = nullptr;    // Button7
  QPushButton* test_ = nullptr;   // Button8
  QPushButton* clear_ = nullptr;  // Button13
  QTableView* grid_ = nullptr;    // DBGrid1
  QMenu* menu_ = nullptr;         // PopupMenu1: "Delete", "Delete All"
  QAction* appendRow_ = nullptr;  // GridAppendRow
  bool followingCurrentRow_ = false;
  QPersistentModelIndex newRow_;  // appended by hand and still untouched
};

}  // namespace veltra
