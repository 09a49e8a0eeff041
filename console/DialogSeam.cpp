#include "console/DialogSeam.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

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

}  // namespace kestrune
