#pragma once
// The window's controls as tests, benchmarks and assistive tools find them:
// by their object names ("SpinEdit7", "Button10", "Memo1"), whichever page or
// panel class owns them. A control that is not there is a test failure (a
// benchmark defines VELTRA_MISSING_CONTROL to say what it does instead).
#ifndef VELTRA_MISSING_CONTROL
#include <gtest/gtest.h>
#define VELTRA_MISSING_CONTROL(name) ADD_FAILURE() << "no control \"" << (name) << "\""
#endif

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QTabWidget>
#include <QTableView>
#include <vector>

#include "console/control_builders.h"
#include "console/port_list.h"
#include "console/spin_edit.h"

namespace veltra::test {

// The control of this name and type under `root` (the window, or a dialog).
template <typename T = QWidget>
T* Control(const QObject& root, const QString& name) {
  T* found = root.findChild<T*>(name);
  if (!found) VELTRA_MISSING_CONTROL(name.toStdString());
  return found;
}

inline SpinEdit* Spin(const QObject& w, const char* name) { return Control<SpinEdit>(w, name); }
inline QLineEdit* Edit(const QObject& w, const char* name) { return Control<QLineEdit>(w, name); }
inline QPushButton* Button(const QObject& w, const char* name) { return Control<QPushButton>(w, name); }
inline QComboBox* List(const QObject& w, const char* name) { return Control<QComboBox>(w, name); }
inline QCheckBox* Check(const QObject& w, const char* name) { return Control<QCheckBox>(w, name); }
inline QRadioButton* Radio(const QObject& w, const char* name) { return Control<QRadioButton>(w, name); }
inline QAction* Action(const QObject& w, const char* name) { return Control<QAction>(w, name); }
inline QMenu* Menu(const QObject& w, const char* name) { return Control<QMenu>(w, name); }
inline QLabel* Label(const QObject& w, const char* name) { return Control<QLabel>(w, name); }
inline PortList* Ports(const QObject& w) { return Control<PortList>(w, "ComboBox5"); }
inline QTabWidget* Pages(const QObject& w) { return Control<QTabWidget>(w, "PageControl1"); }
inline QWidget* Sheet(const QObject& w, const char* name) { return Control<QWidget>(w, name); }
inline QTableView* Grid(const QObject& w) { return Control<QTableView>(w, "DBGrid1"); }
inline QPlainTextEdit* Memo(const QObject& w) { return Control<QPlainTextEdit>(w, "Memo1"); }
// "CH1 :" .. "CH8 :" of "Set Scene ": ComboBox6 .. ComboBox13.
inline QComboBox* ChannelList(const QObject& w, int channel) {
  return List(w, QStringLiteral("ComboBox%1").arg(6 + channel).toLatin1().constData());
}

// A button's caption as it reads, without its mnemonic mark.
inline QString Caption(const QObject& w, const char* name) { return ui::WithoutMnemonic(Button(w, name)->text()); }
inline void ShowPage(const QObject& w, const char* sheet) { Pages(w)->setCurrentWidget(Sheet(w, sheet)); }

// "Light1" .. "Light8" in screen order, "Curtain1" .. "Curtain4".
inline std::vector<QCheckBox*> LightBoxes(const QObject& w) {
  std::vector<QCheckBox*> boxes;
  for (const char* name : {"CheckBox1", "CheckBox2", "CheckBox3", "CheckBox4", "CheckBox8", "CheckBox5", "CheckBox6",
                           "CheckBox7"})
    boxes.push_back(Check(w, name));
  return boxes;
}
inline std::vector<QCheckBox*> CurtainBoxes(const QObject& w) {
  return {Check(w, "CheckBox9"), Check(w, "CheckBox10"), Check(w, "CheckBox11"), Check(w, "CheckBox12")};
}
inline std::vector<bool> States(const std::vector<QCheckBox*>& boxes) {
  std::vector<bool> states;
  for (QCheckBox* box : boxes) states.push_back(box->isChecked());
  return states;
}

// Every field of "Bus Switch Settings" but its subnet, in screen order.
inline std::vector<QLineEdit*> BusSwitchEdits(const QObject& w) {
  std::vector<QLineEdit*> edits;
  for (const char* name : {"Edit9", "edt5", "Edit15", "Edit17", "Edit11", "Edit21", "Edit22", "Edit23", "Edit24",
                           "Edit25", "Edit26", "Edit27", "Edit28", "Edit29", "Edit30", "Edit31", "Edit32", "edt3",
                           "Edit7", "Edit8", "Edit33", "Edit34", "Edit35", "Edit36"})
    edits.push_back(Edit(w, name));
  return edits;
}

// The "Com" list shows this port (added when missing).
inline void SelectPort(const QObject& w, const QString& path) {
  PortList* ports = Ports(w);
  if (ports->findText(path) < 0) ports->addItem(path);
  ports->setCurrentIndex(ports->findText(path));
}

inline QStringList Items(const QComboBox* list) {
  QStringList items;
  for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
  return items;
}

// The grid's rows as "scene,module,CH1..CH8", by column title.
inline QStringList SceneRows(const QObject& w) {
  const QAbstractItemModel* model = Grid(w)->model();
  QStringList rows;
  for (int r = 0; r < model->rowCount(); ++r) {
    QStringList cells;
    for (const char* title : {"Scene No", "Module Addr", "CH1", "CH2", "CH3", "CH4", "CH5", "CH6", "CH7", "CH8"})
      for (int c = 0; c < model->columnCount(); ++c)
        if (model->headerData(c, Qt::Horizontal).toString() == title) cells << model->index(r, c).data().toString();
    rows << cells.join(',');
  }
  return rows;
}

}  // namespace veltra::test
