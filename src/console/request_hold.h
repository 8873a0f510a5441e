#pragma once
// The buttons that send requests, held while a request waits or a bus scan
// runs: unavailable, their tooltip saying why, so there is one request at a
// time; the keyboard focus goes back to the button that was pressed once
// they are free again, unless the operator moved on meanwhile.
#include <QObject>
#include <QPointer>
#include <QString>
#include <utility>
#include <vector>

class QPushButton;
class QWidget;

namespace veltra {

class RequestHold : public QObject {
 public:
  explicit RequestHold(QObject* parent = nullptr) : QObject(parent) {}

  // A button of a page that sends a request.
  void Add(QPushButton* button);
  // Held with this reason, or free again when it is empty.
  void Show(const QString& reason);

 private:
  std::vector<QPointer<QPushButton>> buttons_;
  // The tooltips the buttons had before they were held.
  std::vector<std::pair<QPointer<QPushButton>, QString>> heldToolTips_;
  bool held_ = false;
  // The keyboard focus: on a request button when the requests were held,
  // and where it went then, so that it comes back after.
  QPointer<QWidget> focusBefore_, focusDuring_;
};

}  // namespace veltra
