#include "console/DialogSeam.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>
#include <vector>

namespace kestrune {

namespace {

FileDialogSink& FileSink() {
  static FileDialogSink sink;
  return sink;
}

QuestionSink& QuestionBoxSink() {
  static QuestionSink sink;
  return sink;
}

ChoiceSink& ChoiceBoxSink() {
  static ChoiceSink sink;
  return sink;
}

TextSink& TextDialogSink() {
  static TextSink sink;
  return sink;
}

}  // namespace

std::optional<FileDialogAnswer> RunFileDialog(QFileDialog& dialog) {
  if (FileSink()) return FileSink()(dialog);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return FileDialogAnswer{
      dialog.selectedFiles().first(),
      static_cast<int>(dialog.nameFilters().indexOf(dialog.selectedNameFilter()))};
}

void SetFileDialogSink(FileDialogSink sink) { FileSink() = std::move(sink); }

bool AskQuestion(const QString& text) {
  if (QuestionBoxSink()) return QuestionBoxSink()(text);
  QMessageBox box(QMessageBox::Question, QApplication::applicationDisplayName(), text,
                  QMessageBox::Yes | QMessageBox::No, QApplication::activeWindow());
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

void SetQuestionSink(QuestionSink sink) { QuestionBoxSink() = std::move(sink); }

std::optional<int> AskChoice(const QString& text, const QStringList& choices) {
  if (ChoiceBoxSink()) return ChoiceBoxSink()(text, choices);
  QMessageBox box(QMessageBox::Question, QApplication::applicationDisplayName(), text,
                  QMessageBox::Cancel, QApplication::activeWindow());
  std::vector<QPushButton*> buttons;
  for (const QString& choice : choices)
    buttons.push_back(box.addButton(choice, QMessageBox::AcceptRole));
  if (!buttons.empty()) box.setDefaultButton(buttons.front());
  box.exec();
  const auto chosen = std::find(buttons.begin(), buttons.end(), box.clickedButton());
  if (chosen == buttons.end()) return std::nullopt;
  return static_cast<int>(chosen - buttons.begin());
}

void SetChoiceSink(ChoiceSink sink) { ChoiceBoxSink() = std::move(sink); }

std::optional<QString> AskText(const QString& label) {
  if (TextDialogSink()) return TextDialogSink()(label);
  bool accepted = false;
  const QString text =
      QInputDialog::getText(QApplication::activeWindow(), QApplication::applicationDisplayName(),
                            label, QLineEdit::Normal, QString(), &accepted);
  if (!accepted) return std::nullopt;
  return text;
}

void SetTextSink(TextSink sink) { TextDialogSink() = std::move(sink); }

namespace {
ModalDialogSink& DialogSink() {
  static ModalDialogSink sink;
  return sink;
}
}  // namespace

bool RunModalDialog(QDialog& dialog) {
  if (DialogSink()) return DialogSink()(dialog);
  return dialog.exec() == QDialog::Accepted;
}

void SetModalDialogSink(ModalDialogSink sink) { DialogSink() = std::move(sink); }

}  // namespace kestrune
