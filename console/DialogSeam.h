// Questions and file dialogs the main window puts to the operator, behind
// seams that tests answer (as the general error report's box, ErrorReport.h).
// Without a sink the real modal dialog runs.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QDialog;
class QFileDialog;

namespace kestrune {

// The operator's choice in a file dialog: the file and the position of the
// selected entry of the dialog's type list (its name filters).
struct FileDialogAnswer {
  QString File;
  int FilterIndex = -1;
};

// Runs the dialog as it has been set up; nothing when the operator cancels.
std::optional<FileDialogAnswer> RunFileDialog(QFileDialog& dialog);

// Receives the dialog, set up but not shown, and answers for the operator.
// An empty function restores the real dialog.
using FileDialogSink = std::function<std::optional<FileDialogAnswer>(QFileDialog& dialog)>;
void SetFileDialogSink(FileDialogSink sink);

// A question with the buttons Yes and No (No the default) in a box titled
// with the application's name; true for Yes.
bool AskQuestion(const QString& text);

// Receives the question's text and answers it. An empty function restores
// the message box.
using QuestionSink = std::function<bool(const QString& text)>;
void SetQuestionSink(QuestionSink sink);

// A question with a button for each choice and Cancel, in a box titled with
// the application's name; the first choice is the default. Gives the
// position of the choice, or nothing for Cancel.
std::optional<int> AskChoice(const QString& text, const QStringList& choices);

// Receives the question and its choices and answers as AskChoice does. An
// empty function restores the message box.
using ChoiceSink =
    std::function<std::optional<int>(const QString& text, const QStringList& choices)>;
void SetChoiceSink(ChoiceSink sink);

// A one-line text asked for with `label`, in a dialog titled with the
// application's name; nothing when the operator cancels.
std::optional<QString> AskText(const QString& label);

// Receives the label and answers as AskText does. An empty function
// restores the dialog.
using TextSink = std::function<std::optional<QString>(const QString& label)>;
void SetTextSink(TextSink sink);

// Runs a dialog of the window's own (the Devices dialog) modally; true when
// the operator accepted it.
bool RunModalDialog(QDialog& dialog);

// Receives the dialog, set up but not shown; the test works its controls and
// answers whether it was accepted. An empty function restores exec().
using ModalDialogSink = std::function<bool(QDialog& dialog)>;
void SetModalDialogSink(ModalDialogSink sink);

}  // namespace kestrune
