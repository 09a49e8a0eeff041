// send-ctrl-event: delivers Ctrl+C or Ctrl+Break to a running program, the
// way the system does, for the win stage's runs of kestrune-cli.exe. wine
// refuses GenerateConsoleCtrlEvent where no console is shown, so this starts
// a thread in the program at kernel32's CtrlRoutine, which runs the
// program's console handlers. kernel32 sits at the same address in every
// process, so this program's own CtrlRoutine address serves.
//
// Usage: send-ctrl-event <program.exe> c|break     exit 0 when delivered
#include <windows.h>

// needs windows.h first
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

DWORD ProcessIdOf(const wchar_t* exeName) {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  DWORD found = 0;
  for (BOOL more = Process32FirstW(snapshot, &entry); more && !found;
       more = Process32NextW(snapshot, &entry))
    if (_wcsicmp(entry.szExeFile, exeName) == 0) found = entry.th32ProcessID;
  CloseHandle(snapshot);
  return found;
}

int Deliver(DWORD processId, DWORD event) {
  const auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CtrlRoutine")));
  if (!routine) return 1;
  const HANDLE process = OpenProcess(PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION |
                                         PROCESS_VM_OPERATION | PROCESS_VM_WRITE | PROCESS_VM_READ,
                                     FALSE, processId);
  if (!process) return 1;
  const HANDLE thread =
      CreateRemoteThread(process, nullptr, 0, routine,
                         reinterpret_cast<void*>(static_cast<ULONG_PTR>(event)), 0, nullptr);
  CloseHandle(process);
  if (!thread) return 1;
  WaitForSingleObject(thread, 30000);
  CloseHandle(thread);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fputs("usage: send-ctrl-event <program.exe> c|break\n", stderr);
    return 2;
  }
  const DWORD event = std::wstring(argv[2]) == L"break" ? CTRL_BREAK_EVENT : CTRL_C_EVENT;
  const DWORD processId = ProcessIdOf(argv[1]);
  if (!processId) {
    std::fputs("send-ctrl-event: no such program running\n", stderr);
    return 1;
  }
  return Deliver(processId, event);
}
