#include "shell/instances.h"

#include "shell/main_window.h"
#include "test_support.h"

static HWND RegisteredWindow(const InstanceTable* table, DWORD processId) {
  for (const InstanceRecord& record : table->records)
    if (record.window && record.processId == processId) return reinterpret_cast<HWND>(uintptr_t(record.window));
  return nullptr;
}

// The visible main window of a process, or null.
static HWND ShownMainWindow(DWORD processId) {
  struct Search { DWORD processId; HWND found; } search{processId, nullptr};
  EnumWindows([](HWND w, LPARAM out) {
    auto* s = reinterpret_cast<Search*>(out);
    DWORD owner = 0;
    wchar_t name[4] = L"";
    GetWindowThreadProcessId(w, &owner);
    if (owner == s->processId && IsWindowVisible(w) && GetClassNameW(w, name, 4) && !lstrcmpW(name, kMainWindowClass))
      s->found = w;
    return BOOL(!s->found);
  }, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

static PROCESS_INFORMATION StartProgram(const std::wstring& file) {
  std::wstring commandLine = L"" TESSEL_EXE_NAME " \"" + file + L"\"";  // CTest runs us in the build folder
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
  return process;
}

// Real program instances meeting in the shared table with this process, whose window follows
// a file too and which writes the table as a hostile peer might.
using InstanceTableTest = HostedTest;
TEST_F(InstanceTableTest, AFollowedFileOnlyComesToTheFrontAndPeersCannotMisleadTheScan) {
  EXPECT_FALSE(MapInstanceTable(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 65536, nullptr)));
  WriteBytes(path, "row\n");
  ASSERT_TRUE(OpenInstanceTable() && OpenFile(path.c_str()));
  HANDLE section = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, L"Kavex.Quillon::Share");
  InstanceTable* peer = MapInstanceTable(section);
  ASSERT_TRUE(CloseHandle(section) && peer);  // the name lives on in the program's handle alone
  HANDLE mutex = CreateMutexW(nullptr, FALSE, L"Kavex.Quillon::Share::Mutex");
  WaitForSingleObject(mutex, INFINITE);
  std::fill_n(peer->queryPath, 512, L'x');  // no terminator up to the end of the committed page
  EXPECT_EQ(SendMessageW(window, kInstanceQueryMessage, 0, 0), 0);
  HWND closed = CreateWindowW(L"STATIC", nullptr, 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  DestroyWindow(closed);
  auto record = [](HWND w, DWORD processPlus, DWORD threadPlus, int atomPlus) {
    return InstanceRecord{uint32_t(uintptr_t(w)), GetCurrentProcessId() + processPlus, GetCurrentThreadId() + threadPlus,
                          uint16_t(GetClassLongW(w, GCW_ATOM) + atomPlus), 0};
  };  // one field off at a time, a view that is no main window, a closed window
  const InstanceRecord foreign[] = {record(window, 1, 0, 0), record(window, 0, 1, 0), record(window, 0, 0, 1),
                                    record(engineHost.view, 0, 0, 0), record(closed, 0, 0, 0)};
  for (size_t i = 0, next = 0; next < std::size(foreign); ++i) if (!peer->records[i].window) peer->records[i] = foreign[next++];
  ReleaseMutex(mutex);
  auto abandon = [](void* held) -> DWORD { return WaitForSingleObject(held, INFINITE); };  // as a killed holder would
  WaitForSingleObject(CreateThread(nullptr, 0, abandon, mutex, 0, nullptr), INFINITE);
  struct Row { const char* name; std::wstring file; DWORD restrict; int front; };  // front -1: a window of its own
  // The second window on the file registers above the first: the scan, newest first, meets it first.
  const Row rows[] = {{"restrict instances off", path, 0, -1}, {"again, a second window on the file", path, 0, -1},
                      {"letter case differs", directory + L"\\APP.LOG", 1, -1},
                      {"same file: the newer window comes to the front", path, 1, 1}};  // and restrict left on
  std::vector<PROCESS_INFORMATION> started;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Morvane\\Quillon", L"restrict instances", REG_DWORD, &row.restrict, 4);
    std::wstring commandLine = L"" TESSEL_EXE_NAME " \"" + row.file + L"\"";  // CTest runs us in the build folder
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION& process = started.emplace_back();
    CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
    DWORD want = started[row.front < 0 ? started.size() - 1 : size_t(row.front)].dwProcessId, front = 0, exitCode = 1;
    for (int wait = 0; wait < 500 && (GetWindowThreadProcessId(GetForegroundWindow(), &front), front != want); ++wait)
      PumpMessages(20);  // answering what this process's window is asked meanwhile
    EXPECT_EQ(front, want);
    WaitForSingleObject(process.hProcess, row.front < 0 ? 0 : 10000);
    EXPECT_TRUE(GetExitCodeProcess(process.hProcess, &exitCode) && exitCode == (row.front < 0 ? STILL_ACTIVE : 0));
  }
  // As a start whose lookup came before the first instance registered: at its own registration it hands over.
  EXPECT_FALSE(EnterInstanceTable(window, path.c_str()));
  for (PROCESS_INFORMATION& process : started) PostMessageW(RegisteredWindow(peer, process.dwProcessId), WM_CLOSE, 0, 0);
  for (PROCESS_INFORMATION& process : started) EXPECT_EQ(WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0);
  for (DWORD id : {GetCurrentProcessId(), GetCurrentProcessId() + 1, started[0].dwProcessId, started[1].dwProcessId,
                   started[2].dwProcessId})
    EXPECT_EQ(RegisteredWindow(peer, id), nullptr) << id;  // closed windows left, foreign records freed unasked
}

// A process that takes the mutex and keeps it (here this one) only delays a
// start, which then shows a window of its own and stays unregistered, and a
// close, which leaves its record behind until a later lookup frees it.
TEST_F(InstanceTableTest, APeerHoldingTheMutexKeepsNoWindowFromShowingOrClosing) {
  WriteBytes(path, "row\n");
  RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Morvane\\Quillon", L"restrict instances");  // on
  ASSERT_TRUE(OpenInstanceTable());
  HANDLE section = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, L"Kavex.Quillon::Share");
  InstanceTable* peer = MapInstanceTable(section);
  ASSERT_TRUE(CloseHandle(section) && peer);
  auto waitFor = [](auto done) {  // up to half a minute: each start or close may wait 3 seconds, twice
    for (int wait = 0; wait < 1500 && !done(); ++wait) PumpMessages(20);
    return done();
  };
  PROCESS_INFORMATION first = StartProgram(path);
  EXPECT_TRUE(waitFor([&] { return RegisteredWindow(peer, first.dwProcessId) && ShownMainWindow(first.dwProcessId); }));
  HWND firstWindow = RegisteredWindow(peer, first.dwProcessId);
  HANDLE held = CreateMutexW(nullptr, FALSE, L"Kavex.Quillon::Share::Mutex");
  EXPECT_EQ(WaitForSingleObject(held, 10000), WAIT_OBJECT_0);
  PROCESS_INFORMATION second = StartProgram(path);  // the same file, yet nobody can be asked
  EXPECT_TRUE(waitFor([&] { return ShownMainWindow(second.dwProcessId) != nullptr; }));
  PostMessageW(firstWindow, WM_CLOSE, 0, 0);
  DWORD exitCode = 1;
  EXPECT_TRUE(waitFor([&] { return WaitForSingleObject(first.hProcess, 0) == WAIT_OBJECT_0; }));
  EXPECT_TRUE(GetExitCodeProcess(first.hProcess, &exitCode) && exitCode == 0);
  EXPECT_EQ(RegisteredWindow(peer, first.dwProcessId), firstWindow);  // left behind
  EXPECT_EQ(RegisteredWindow(peer, second.dwProcessId), nullptr);
  ReleaseMutex(held);
  EXPECT_FALSE(AnotherInstanceTookOver(path.c_str()));  // the unregistered window is not asked
  EXPECT_EQ(RegisteredWindow(peer, first.dwProcessId), nullptr);  // the dead window's record freed
  PostMessageW(ShownMainWindow(second.dwProcessId), WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(second.hProcess, 10000), WAIT_OBJECT_0);
  for (const PROCESS_INFORMATION& process : {first, second}) {
    TerminateProcess(process.hProcess, 1);  // only if one is still there
    CloseHandle(process.hThread), CloseHandle(process.hProcess);
  }
  CloseHandle(held);
}
