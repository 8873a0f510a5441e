#pragma once
// Second window: empty, created at start and kept hidden.
#include <QWidget>

namespace veltra {

class TForm2 : public QWidget {
  Q_OBJECT
 public:
  explicit TForm2(QWidget* parent = nullptr) : QWidget(parent) {
    setObjectName("Form2");
    setWindowTitle(QStringLiteral("Form2"));
  }
};

}  // namespace veltra
