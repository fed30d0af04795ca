// A small Win32 host for the editor test under wine: loads morvelith.dll,
// opens the editor as a child of its own window and drives it as a host
// would (effEditIdle and a block of audio every 10 ms on the GUI thread).
//   editor_host <dll> show <seconds>   report "ready X Y" (the editor's screen
//                                       origin), then every parameter and
//                                       program change and program name, the native tool-tip
//                                       ("tip <shown> <style> <text>") and the
//                                       dialogs that open ("dialog <title>"),
//                                       until closed or timed out
//   editor_host <dll> cycles <n>       open and close the editor n times while
//                                       another thread processes audio
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "vst/AEffect.h"

namespace {
constexpr int kBlock = 256;
constexpr UINT_PTR kIdleTimer = 1;
constexpr UINT_PTR kEndTimer = 2;

VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

AEffect* plugin = nullptr;
HWND hostWindow = nullptr;
std::vector<float> lastValues;
VstIntPtr lastProgram = -1;
std::string lastName = "\n";
int idles = 0;
bool readyReported = false;

VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0) {
  return plugin->dispatcher(plugin, opcode, index, value, ptr, opt);
}

void processBlock() {
  static std::vector<float> left(kBlock), right(kBlock);
  float* outputs[2] = {left.data(), right.data()};
  plugin->processReplacing(plugin, nullptr, outputs, kBlock);
}

// The process's tool-tip and dialog windows, reported when they change.
std::string lastTip = "none";
std::string lastDialogs;
BOOL CALLBACK collectWindow(HWND window, LPARAM collected) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != GetCurrentProcessId()) return TRUE;
  char name[64] = {}, text[256] = {};
  GetClassNameA(window, name, sizeof name);
  GetWindowTextA(window, text, sizeof text);
  auto* lines = reinterpret_cast<std::vector<std::string>*>(collected);
  if (std::strcmp(name, "tooltips_class32") == 0) {
    // The style's low bits: TTS_ALWAYSTIP (1) and TTS_NOPREFIX (2).
    LONG style = GetWindowLongA(window, GWL_STYLE);
    lines->push_back("tip " + std::to_string(IsWindowVisible(window) ? 1 : 0) + " " + std::to_string(style & 3) +
                     " " + text);
  } else if (std::strcmp(name, "#32770") == 0 && IsWindowVisible(window)) {
    lines->push_back(std::string("dialog ") + text);
  }
  return TRUE;
}

void reportWindows() {
  std::vector<std::string> lines;
  EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&lines));
  std::string tip = "none", dialogs;
  for (const std::string& line : lines) {
    if (line.rfind("tip ", 0) == 0)
      tip = line;
    else
      dialogs += line + "\n";
  }
  if (tip != lastTip && tip != "none") std::printf("%s\n", tip.c_str());
  if (dialogs != lastDialogs) std::printf("%s", dialogs.empty() ? "dialogs closed\n" : dialogs.c_str());
  lastTip = tip;
  lastDialogs = dialogs;
}

// What the test reads: changes of the stored values since the last report.
void reportChanges() {
  for (VstInt32 i = 0; i < plugin->numParams; ++i) {
    float value = plugin->getParameter(plugin, i);
    if (value != lastValues[static_cast<size_t>(i)]) {
      std::printf("param %d %.6f\n", i, value);
      lastValues[static_cast<size_t>(i)] = value;
    }
  }
  reportWindows();
  VstIntPtr program = dispatch(effGetProgram);
  if (program != lastProgram) {
    std::printf("program %d\n", static_cast<int>(program));
    lastProgram = program;
  }
  char name[64] = {};
  dispatch(effGetProgramName, 0, 0, name);
  if (lastName != name) {
    std::printf("name %s\n", name);
    lastName = name;
  }
  std::fflush(stdout);
}

LRESULT CALLBACK hostProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      if (wParam == kEndTimer) PostMessageA(hwnd, WM_CLOSE, 0, 0);
      if (wParam == kIdleTimer && plugin) {
        processBlock();
        dispatch(effEditIdle);
        if (++idles == 30 && !readyReported) {
          POINT origin{0, 0};
          ClientToScreen(hwnd, &origin);
          std::printf("ready %ld %ld\n", origin.x, origin.y);
          readyReported = true;
        }
        if (readyReported) reportChanges();
      }
      return 0;
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(hwnd, message, wParam, lParam);
  }
}

HWND createHostWindow(int width, int height) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = hostProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "MorvelithTestHost";
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  RegisterClassA(&wc);
  // A popup: no frame, so the client area starts at the window's corner.
  return CreateWindowExA(0, wc.lpszClassName, "Morvelith test host", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 20,
                         20, width, height, nullptr, nullptr, wc.hInstance, nullptr);
}

void pumpFor(DWORD ms) {
  DWORD start = GetTickCount();
  MSG msg;
  while (GetTickCount() - start < ms) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    Sleep(5);
  }
}

int show(int seconds) {
  ERect* rect = nullptr;
  dispatch(effEditGetRect, 0, 0, &rect);
  if (!rect) return std::puts("no editor rectangle"), 1;
  hostWindow = createHostWindow(rect->right - rect->left, rect->bottom - rect->top);
  if (dispatch(effEditOpen, 0, 0, hostWindow) != 1) return std::puts("effEditOpen failed"), 1;
  lastValues.assign(static_cast<size_t>(plugin->numParams), -1.0f);
  SetTimer(hostWindow, kIdleTimer, 10, nullptr);
  SetTimer(hostWindow, kEndTimer, static_cast<UINT>(seconds) * 1000, nullptr);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    if (msg.message == WM_QUIT) break;
  }
  KillTimer(hostWindow, kIdleTimer);
  dispatch(effEditClose);
  return 0;
}

// The host's editor window stays; the editor comes and goes inside it while
// the audio thread runs on.
int cycles(int count) {
  ERect* rect = nullptr;
  dispatch(effEditGetRect, 0, 0, &rect);
  if (!rect) return std::puts("no editor rectangle"), 1;
  hostWindow = createHostWindow(rect->right - rect->left, rect->bottom - rect->top);
  std::atomic<bool> running{true};
  std::atomic<long> blocks{0};
  std::thread audio([&] {
    while (running) {
      processBlock();
      ++blocks;
      Sleep(1);
    }
  });
  int opened = 0;
  for (int i = 0; i < count; ++i) {
    if (dispatch(effEditOpen, 0, 0, hostWindow) == 1) ++opened;
    for (int j = 0; j < 5; ++j) {
      pumpFor(10);
      dispatch(effEditIdle);
    }
    dispatch(effEditClose);
    pumpFor(5);
  }
  running = false;
  audio.join();
  std::printf("cycles %d opened %d blocks %ld\n", count, opened, blocks.load());
  std::fflush(stdout);
  DestroyWindow(hostWindow);
  return opened == count ? 0 : 1;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return std::puts("usage: editor_host <dll> show <seconds> | cycles <n>"), 2;
  HMODULE module = LoadLibraryA(argv[1]);
  if (!module) return std::printf("LoadLibrary failed: %lu\n", GetLastError()), 1;
  using Entry = AEffect* (*)(audioMasterCallback);
  auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module, "VSTPluginMain")));
  if (!entry) return std::puts("no VSTPluginMain"), 1;
  plugin = entry(hostCallback);
  if (!plugin || plugin->magic != kEffectMagic) return std::puts("no effect"), 1;
  dispatch(effOpen);
  dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
  dispatch(effSetBlockSize, 0, kBlock);
  dispatch(effMainsChanged, 0, 1);
  int result = std::strcmp(argv[2], "show") == 0 ? show(std::atoi(argv[3])) : cycles(std::atoi(argv[3]));
  dispatch(effMainsChanged, 0, 0);
  dispatch(effClose);
  FreeLibrary(module);
  return result;
}
