// Renders the main window offscreen for the documentation: a command page
// with some traffic in the log beside the Settings tab, in one image.
//
// Usage: console_screenshot OUTPUT.png
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <cstdio>

#include "console/ConsoleLog.h"
#include "tests/support/Window.h"

using namespace kestrune;
using namespace kestrune::test;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
    return 2;
  }
  EnsureApplication();
  ScratchDir dir;
  SimulatedRadio radio;
  dir.Write("settings.ini", "[devices]\nCOM1=" + radio.DevicePath() +
                                "\n[log]\ntransmit=1\nreceive=1\n"
                                "[buttons1]\nButtonP1_0=Audio mute;" +
                                AsCommand(AudioMuteFrame()).toStdString() +
                                "\nButtonP1_1=Expanded protocol;00 12 01 06 02\n");
  TForm1Options options;
  options.ProgramDir = QPathOf(dir.Path());
  TForm1 form(std::move(options));
  form.resize(760, 520);
  form.show();

  QTest::mouseClick(form.CommandButton(1, 0), Qt::LeftButton);
  if (!QTest::qWaitFor([&] { return !ViewTexts(form).filter("RX(").isEmpty(); }, 5000)) {
    std::fprintf(stderr, "no echo from the simulated radio\n");
    return 1;
  }
  QTest::qWait(100);  // let the view take the rest of the echo

  const QImage page = form.grab().toImage();
  form.PageControl1->setCurrentWidget(form.TabSheet2);
  const QImage settings = form.grab().toImage();

  QImage both(page.width() + settings.width() + 16, std::max(page.height(), settings.height()),
              QImage::Format_RGB32);
  both.fill(Qt::white);
  QPainter painter(&both);
  painter.drawImage(0, 0, page);
  painter.drawImage(page.width() + 16, 0, settings);
  painter.end();
  return both.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
