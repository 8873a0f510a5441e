#pragma once
// The few message boxes the main window shows, behind one interface so that
// automated runs can answer them without a modal loop. Every one closes with
// Escape (the question's answer is then No).
#include <QString>
#include <functional>

class QWidget;

namespace veltra {

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // "Are you sure?" style question, titled "Confirm", Yes/No with No the
  // default; `details` (what the question is about) as the informative text
  // below it. True for Yes.
  virtual bool Confirm(const QString& text, const QString& details = {}) = 0;
  // "Quit" while a link is open: whether to quit, and whether the operator
  // asked not to be asked again. A plain Confirm unless shown otherwise.
  struct QuitAnswer {
    bool quit = false;
    bool askAgain = true;
  };
  virtual QuitAnswer ConfirmQuit(const QString& text) { return {Confirm(text), true}; }
  // Plain message with an OK button ("Error!", "No records!", ...).
  virtual void Message(const QString& text) = 0;
  // An error that ended an operator action; the window keeps running.
  virtual void ShowError(const QString& text) = 0;
  // A failure with its cause: warning icon, `text` as the message and
  // `details` as the informative text below it.
  virtual void Warning(const QString& text, const QString& details) = 0;
  // A standard file dialog asking where to save; empty when cancelled.
  virtual QString SaveFileName(const QString& caption, const QString& suggestedPath, const QString& filter) = 0;
  // A standard file dialog asking which file to open; empty when cancelled
  // (and wherever no dialog is shown).
  virtual QString OpenFileName(const QString& caption, const QString& filter) {
    (void)caption;
    (void)filter;
    return {};
  }
  // The About box of the Help menu; a plain message unless shown otherwise.
  virtual void About(const QString& title, const QString& text) {
    (void)title;
    Message(text);
  }
};

// Runs one operator action; an exception that escapes it is shown as an
// error and the window goes on.
void RunGuarded(Dialogs& dialogs, const std::function<void()>& action);

// Real message boxes, parented to the given window.
class MessageBoxDialogs : public Dialogs {
 public:
  explicit MessageBoxDialogs(QWidget* parent = nullptr) : parent_(parent) {}
  bool Confirm(const QString& text, const QString& details = {}) override;
  QuitAnswer ConfirmQuit(const QString& text) override;
  void Message(const QString& text) override;
  void ShowError(const QString& text) override;
  void Warning(const QString& text, const QString& details) override;
  QString SaveFileName(const QString& caption, const QString& suggestedPath, const QString& filter) override;
  QString OpenFileName(const QString& caption, const QString& filter) override;
  void About(const QString& title, const QString& text) override;

 private:
  QWidget* parent_;
};

}  // namespace veltra
