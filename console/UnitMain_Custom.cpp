// The "Custom" page: the packet script the operator writes, the button that
// runs it, and "CustomPackets.txt", which keeps the script between runs.
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTextBlock>
#include <QTextDocument>
#include <QVBoxLayout>
#include <exception>

#include "console/ErrorReport.h"
#include "console/UnitMain.h"
#include "console/WidgetKit.h"
#include "console/core/TextFile.h"
#include "console/ops/PacketScript.h"

namespace kestrune {

QWidget* TForm1::BuildCustomPage() {
  TabSheetCmd6 = Named(new QWidget, "TabSheetCmd6");
  MemoCustomPacket = Named(new QPlainTextEdit, "MemoCustomPacket");
  MemoCustomPacket->setAccessibleName(QStringLiteral("Custom packets"));
  MemoCustomPacket->setLineWrapMode(QPlainTextEdit::NoWrap);
  MemoCustomPacket->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  MemoCustomPacket->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  MemoCustomPacket->setToolTip(QStringLiteral("supported: sb9600, sbep X, delay Xms, bytes"));
  MemoCustomPacket->setToolTipDuration(kHintHidePauseMs);

  ButtonSendCustomPacket =
      Named(new QPushButton(QStringLiteral("Send custom packets")), "ButtonSendCustomPacket");

  auto* layout = new QVBoxLayout(TabSheetCmd6);
  layout->addWidget(MemoCustomPacket, 1);
  layout->addWidget(ButtonSendCustomPacket, 0, Qt::AlignLeft);
  return TabSheetCmd6;
}

void TForm1::ConnectCustomHandlers() {
  connect(ButtonSendCustomPacket, &QPushButton::clicked, this,
          [this] { Guarded([this] { ButtonSendCustomPacketClick(); }); });
  connect(MemoCustomPacket->document(), &QTextDocument::contentsChanged, this,
          [this] { customPacketLinesStale_ = true; });
}

// The script's lines are the text's paragraphs, and within a paragraph the
// line separators that Shift+Enter types (the memo does not wrap): what
// shows as a line runs as one.
const std::vector<std::string>& TForm1::CustomPacketLines() const {
  if (customPacketLinesStale_) {
    customPacketLines_ = SplitScriptLines(CustomPacketsText());
    customPacketLinesStale_ = false;
  }
  return customPacketLines_;
}

int TForm1::CustomPacketLineCount() const { return static_cast<int>(CustomPacketLines().size()); }

// A line the operator deleted during the run reads as empty.
std::string TForm1::CustomPacketLine(int index) const {
  const std::vector<std::string>& lines = CustomPacketLines();
  return index >= 0 && static_cast<size_t>(index) < lines.size() ? lines[static_cast<size_t>(index)]
                                                                 : std::string();
}

void TForm1::ButtonSendCustomPacketClick() {
  if (!CheckPortOpen()) return;
  AsOperation("the packet script", [this] { RunCustomPackets(); });
}

void TForm1::RunCustomPackets() {
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  ButtonSendCustomPacket->setEnabled(false);
  const auto restore = qScopeGuard([this] {
    ButtonSendCustomPacket->setEnabled(true);
    QGuiApplication::restoreOverrideCursor();
  });
  // Handlers run nested inside the script's exchanges, and the operator may
  // edit the text meanwhile: the count is taken now, each line in its turn.
  const int lineCount = CustomPacketLineCount();
  RunOperation([&](TOperationContext& context) {
    RunPacketScript(context, lineCount, [this](int i) { return CustomPacketLine(i); });
  });
}

// ---------------------------------------------------- "CustomPackets.txt"

QString TForm1::CustomPacketsFileName() {
  return QDir::current().absoluteFilePath(QStringLiteral("CustomPackets.txt"));
}

// The lines joined by "\n" exactly as they stand: the document's own plain
// text would turn no-break spaces into spaces. A line separator typed with
// Shift+Enter ends a line like any other, also in the file.
std::string TForm1::CustomPacketsText() const {
  QString text;
  for (QTextBlock block = MemoCustomPacket->document()->begin(); block.isValid();
       block = block.next()) {
    if (block != MemoCustomPacket->document()->begin()) text += u'\n';
    text += block.text();
  }
  text.replace(QChar::LineSeparator, u'\n').replace(QChar::ParagraphSeparator, u'\n');
  return ToStd(text);
}

// A missing file leaves the script empty. One that is there but cannot be
// read is reported, and kept from being overwritten at close: it may hold a
// script the operator has not seen.
void TForm1::LoadCustomPackets() {
  customPacketsEncoding_ = TextEncoding::Utf8;
  const QString path = CustomPacketsFileName();
  if (!QFileInfo::exists(path)) return;
  try {
    const TTextFile file = ReadTextFile(ToStd(path));
    customPacketsEncoding_ = file.Encoding;
    MemoCustomPacket->setPlainText(FromStd(file.Text));
  } catch (const std::exception& e) {
    customPacketsUnread_ = true;
    ShowErrorReport(FromStd(e.what()));
  }
}

// Lines end in CR LF; the encoding is the one the file was read in.
void TForm1::SaveCustomPackets() const {
  if (customPacketsUnread_) return;
  WriteTextFile(ToStd(CustomPacketsFileName()),
                TTextFile{CustomPacketsText(), customPacketsEncoding_, "\r\n"});
}

}  // namespace kestrune
