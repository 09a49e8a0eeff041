#include "serial/ComEventThread.h"

#include "serial/UnitComPort.h"

namespace kestrune {

TComEventThread::TComEventThread(TComPort& ComPort)
    : FComPort(ComPort), FThread([this] { Execute(); }) {}

TComEventThread::~TComEventThread() {
  if (FThread.joinable()) FThread.join();
}

// A hung-up device is no longer watched: poll() would report it at once,
// forever. Nor is a device whose bytes nobody would read (no read hook): the
// thread then waits for the hook to be set, which wakes it.
void TComEventThread::Execute() {
  for (;;) {
    const bool watchDevice = !FComPort.FHungUp && FComPort.HasReadHook();
    const TComPort::TWaitResult event = FComPort.WaitForEvent(watchDevice);
    if (event.stop) return;
    if (event.error != 0) {
      FComPort.LogError("PORT_ERROR_WAIT", event.error);
      return;
    }
    if (event.modemChanged) FComPort.RaiseCtsChanged();
    if (event.dataArrived) FComPort.RaiseDataRead();
    if (event.hungUp) FComPort.NoteHangUp(0);
    if (FComPort.FHungUp) FComPort.ReportHangUp();
  }
}

}  // namespace kestrune
