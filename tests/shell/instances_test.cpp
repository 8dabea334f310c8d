#include "shell/instances.h"

#include <array>
#include <deque>

#include "shell/main_window.h"
#include "test_support.h"

static HWND RegisteredWindow(const InstanceTable* table, DWORD processId) {
  for (const InstanceRecord& record : table->records)
    if (record.window && record.processId == processId) return reinterpret_cast<HWND>(uintptr_t(record.window));
  return nullptr;
}

// Real program instances meeting in the shared table with this process, whose window follows
// a file too and which writes the table as a hostile peer might.
struct InstanceTableTest : HostedTest {
  InstanceTable* peer = nullptr;  // the table of this process, as a peer maps it
  void SetUp() override {
    HostedTest::SetUp();
    ASSERT_TRUE(OpenInstanceTable());
    HANDLE section = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, L"Kavex.Quillon::Share");
    peer = MapInstanceTable(section);
    ASSERT_TRUE(CloseHandle(section) && peer);  // the name lives on in the program's handle alone
  }
};

TEST_F(InstanceTableTest, AFollowedFileOnlyComesToTheFrontAndPeersCannotMisleadTheScan) {
  EXPECT_FALSE(MapInstanceTable(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 65536, nullptr)));
  WriteBytes(path, "row\n");
  ASSERT_TRUE(OpenFile(path.c_str()));
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
  std::wstring other = directory + L"\\other.log";
  WriteBytes(other, "other\n");
  const Row rows[] = {{"restrict instances off", path, 0, -1}, {"again, a second window on the file", path, 0, -1},
                      {"letter case differs", directory + L"\\APP.LOG", 1, -1},
                      {"same file: the newer window comes to the front", path, 1, 1},  // and restrict left on
                      {"a set of two files: a view of its own", path + L"\n" + other, 1, -1},
                      {"the same set in the other order: that view comes to the front", other + L"\n" + path, 1, 4},
                      {"one of them alone: a view of that file", other, 1, -1}};
  std::deque<Program> started;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SetProgramSetting(L"restrict instances", row.restrict);
    Program& program = started.emplace_back(row.file);
    DWORD want = started[row.front < 0 ? started.size() - 1 : size_t(row.front)].id, front = 0, exitCode = 1;
    PumpUntil([&] { return GetWindowThreadProcessId(GetForegroundWindow(), &front), front == want; }, 10000);
    EXPECT_EQ(front, want);  // pumped, answering what this process's window is asked meanwhile
    program.EndsWithin(row.front < 0 ? 0 : 10000);
    EXPECT_TRUE(GetExitCodeProcess(program.process, &exitCode) && exitCode == (row.front < 0 ? STILL_ACTIVE : 0));
  }
  // As a start whose lookup came before the first instance registered: at its own registration it hands over.
  const wchar_t* handOver[] = {path.c_str()};
  EXPECT_FALSE(EnterInstanceTable(window, handOver, 1));
  for (Program& program : started) PostMessageW(RegisteredWindow(peer, program.id), WM_CLOSE, 0, 0);
  for (Program& program : started) EXPECT_TRUE(program.EndsWithin(10000));
  for (DWORD id : {GetCurrentProcessId(), GetCurrentProcessId() + 1, started[0].id, started[1].id, started[2].id})
    EXPECT_EQ(RegisteredWindow(peer, id), nullptr) << id;  // closed windows left, foreign records freed unasked
}

// The query area's forms: a single path as ever (a second terminator where there is room), a set sorted, each path
// terminated, then an empty one; a set too long for the area is not asked about.
TEST(InstanceQuery, SetsAreSortedAndEndedAndTooLongOnesAreNotAsked) {
  std::wstring a = L"\\\\?\\C:\\logs\\a.log", b = L"\\\\?\\C:\\logs\\b.log";
  std::wstring longPath = L"\\\\?\\C:\\" + std::wstring(32760, L'y');  // 32,767 units
  const struct { std::vector<std::wstring> paths; std::wstring query; } cases[] = {
      {{a}, a + std::wstring(2, L'\0')},
      {{b, a}, a + L'\0' + b + std::wstring(2, L'\0')},
      {{a, b, a}, a + L'\0' + b + std::wstring(2, L'\0')},
      {{longPath}, longPath + L'\0'},
      {{longPath, a}, L""},
  };
  for (const auto& c : cases) {
    std::vector<const wchar_t*> names;
    for (const std::wstring& path : c.paths) names.push_back(path.c_str());
    EXPECT_EQ(InstanceQueryOf(names.data(), names.size(), 32768), c.query) << c.paths.size();
  }
}

// A process that takes the mutex and keeps it (here this one) only delays a start, which then shows a window of its own
// and stays unregistered, and a close, which leaves its record behind until a later lookup frees it.
TEST_F(InstanceTableTest, APeerHoldingTheMutexKeepsNoWindowFromShowingOrClosing) {
  WriteBytes(path, "row\n");
  DeleteProgramSetting(L"restrict instances");  // on
  const DWORD patience = 30000;  // each start or close may wait 3 seconds, twice
  Program first(path);
  EXPECT_TRUE(WaitForProgramWindow(first.id, nullptr, patience));
  EXPECT_TRUE(PumpUntil([&] { return RegisteredWindow(peer, first.id) != nullptr; }, patience));
  HWND firstWindow = RegisteredWindow(peer, first.id);
  HANDLE held = CreateMutexW(nullptr, FALSE, L"Kavex.Quillon::Share::Mutex");
  EXPECT_EQ(WaitForSingleObject(held, 10000), WAIT_OBJECT_0);
  Program second(path);  // the same file, yet nobody can be asked
  HWND secondWindow = WaitForProgramWindow(second.id, nullptr, patience);
  EXPECT_TRUE(secondWindow);
  PostMessageW(firstWindow, WM_CLOSE, 0, 0);
  DWORD exitCode = 1;
  EXPECT_TRUE(PumpUntil([&] { return first.EndsWithin(0); }, patience));
  EXPECT_TRUE(GetExitCodeProcess(first.process, &exitCode) && exitCode == 0);
  EXPECT_EQ(RegisteredWindow(peer, first.id), firstWindow);  // left behind
  EXPECT_EQ(RegisteredWindow(peer, second.id), nullptr);
  ReleaseMutex(held);
  EXPECT_FALSE(AnotherInstanceTookOver(std::array{path.c_str()}.data(), 1));  // the unregistered window is not asked
  EXPECT_EQ(RegisteredWindow(peer, first.id), nullptr);  // the dead window's record freed
  PostMessageW(secondWindow, WM_CLOSE, 0, 0);
  EXPECT_TRUE(second.EndsWithin(10000));
  CloseHandle(held);
}

// Peers each answering just after the asker gave up on them hold a start for 3 seconds in all, not 0.5 s each.
TEST_F(InstanceTableTest, SlowPeersHoldALookupForThreeSecondsInAll) {
  static HWND slow[16];
  static HANDLE made = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  // The main window's class name, registered for another module as a peer's own.
  auto peerThread = [](void*) -> DWORD {
    WNDCLASSW windowClass{};
    windowClass.hInstance = GetModuleHandleW(L"kernel32.dll");
    windowClass.lpszClassName = kMainWindowClass;
    windowClass.lpfnWndProc = [](HWND w, UINT message, WPARAM wparam, LPARAM lparam) -> LRESULT {
      if (message == kInstanceQueryMessage) Sleep(GetDoubleClickTime() + 50);  // a slow peer, not a hung one
      return DefWindowProcW(w, message, wparam, lparam);
    };
    RegisterClassW(&windowClass);
    for (HWND& w : slow) w = CreateWindowW(kMainWindowClass, nullptr, 0, 0, 0, 0, 0, nullptr, nullptr, windowClass.hInstance, nullptr);
    SetEvent(made);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0)) DispatchMessageW(&message);
    for (HWND w : slow) DestroyWindow(w);
    return UnregisterClassW(kMainWindowClass, windowClass.hInstance);
  };
  HANDLE thread = CreateThread(nullptr, 0, peerThread, nullptr, 0, nullptr);
  ASSERT_EQ(WaitForSingleObject(made, 10000), WAIT_OBJECT_0);
  DWORD threadId = GetThreadId(thread);
  for (size_t i = 0, next = 0; next < std::size(slow); ++i)
    if (!peer->records[i].window)
      peer->records[i] = {uint32_t(uintptr_t(slow[next])), GetCurrentProcessId(), threadId,
                          uint16_t(GetClassLongW(slow[next], GCW_ATOM)), 0}, ++next;
  DWORD began = GetTickCount();
  EXPECT_FALSE(AnotherInstanceTookOver(std::array{path.c_str()}.data(), 1));
  EXPECT_LT(GetTickCount() - began, 5000u);  // each of 16 given half a second: 8 seconds
  PostThreadMessageW(threadId, WM_QUIT, 0, 0);
  EXPECT_EQ(WaitForSingleObject(thread, 30000), WAIT_OBJECT_0);
  for (InstanceRecord& record : peer->records)
    if (record.threadId == threadId) record = InstanceRecord{};
  CloseHandle(thread);
}
