#pragma once
// What every page of the window is given, and what they share: the console
// controller that sends their requests, the message boxes, the hold of the
// request buttons; reading a request's values from the page's fields; the
// mark of a field that waits for its reply. Internal to src/console.
#include <QString>
#include <functional>
#include <initializer_list>
#include <string_view>
#include <variant>

#include "console/console_controller.h"
#include "console/dialogs.h"

class QComboBox;
class QPushButton;
class QWidget;

namespace veltra {

class RequestHold;
class SpinEdit;

// A result field waits for its reply: shown in italics, its tooltip and
// accessible description saying so ("Waiting for the reply"), its value kept.
void MarkWaiting(QWidget* field, bool waiting);
inline constexpr const char* kWaitingMark = "Waiting for the reply";

// Where a request's field takes its value from: a spin field, or a list's
// item index plus `first` (the value of its first item).
struct FieldSource {
  std::string_view name;
  std::variant<SpinEdit*, QComboBox*> control;
  int first = 0;
  int Value() const;
};

struct PageContext {
  ConsoleController& controller;
  Dialogs& dialogs;
  RequestHold& hold;

  // A button's click runs `action` guarded.
  void Wire(QPushButton* button, std::function<void()> action) const;
  // A button that sends a request: held while one waits (a click that still
  // comes, from the program, sends nothing either).
  void WireRequest(QPushButton* button, std::function<void()> action) const;
  // The values the request takes, read from the fields at the moment of the
  // click: nothing that happens while a question is open changes them.
  static RequestValues Read(RequestId id, std::initializer_list<FieldSource> fields);
  // Sends the request: first its question when it has one ("Are you sure?",
  // with `details` below it), then the values are checked against the
  // catalogue (throws std::invalid_argument with the reason), `beforeSending`
  // marks what waits, and the controller sends it. False when nothing went.
  bool Send(RequestId id, RequestValues values, ConsoleController::ResultHandler apply = {},
            const QString& details = {}, const std::function<void()>& beforeSending = {}) const;
  // What a request goes to, for its question: "Module 3 on subnet 1", or
  // for the serial line's direct frame "Module 3 (direct on the serial
  // line, no subnet)"; the bus switch's requests are always routed.
  QString TargetText(int address, bool busSwitch = false) const;
};

}  // namespace veltra
