// Modules and the process: the program's own module, a built-in
// "ddraw.dll" whose one export is DirectDrawCreate, sleeping and ending the
// process.
#include "internal.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Module {
  const char *name; // lower case, with its extension
  int references;   // LoadLibraryA calls not yet undone; the program's own is never unloaded
};

Module program = {"flyover.exe", 1};
Module ddraw = {"ddraw.dll", 0};

// "DDRAW", "ddraw.dll", "C:\Windows\System32\DDRAW.DLL": the file name
// decides, in any case, ".dll" implied when there is no extension.
bool namesModule(const char *path, const char *name) {
  const char *base = path;
  for (const char *p = path; *p; ++p)
    if (*p == '\\' || *p == '/')
      base = p + 1;
  std::string file;
  for (const char *p = base; *p; ++p)
    file += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
  if (file.find('.') == std::string::npos)
    file += ".dll";
  return file == name;
}

Module *moduleOf(HMODULE handle) {
  if (handle == reinterpret_cast<HMODULE>(&program))
    return &program;
  if (handle == reinterpret_cast<HMODULE>(&ddraw) && ddraw.references > 0)
    return &ddraw;
  return nullptr;
}

} // namespace

namespace flyover {

unsigned exitCode(unsigned code) {
  std::string error;
  if (!shutdownDisplay(error)) {
    std::fprintf(stderr, "flyover: %s\n", error.c_str());
    if (code == 0)
      code = 1; // the run's output is incomplete: that is never a success
  }
  if (const int signal = pendingSignal())
    code = 128 + static_cast<unsigned>(signal); // what a shell reports for a process a signal ended
  return code;
}

void endProcess(unsigned code) {
  code = exitCode(code);
  std::fflush(nullptr);
  std::exit(static_cast<int>(code));
}

void refuseToStart(const std::string &reason) {
  std::fprintf(stderr, "flyover: %s\n", reason.c_str());
  endProcess(1);
}

} // namespace flyover

extern "C" {

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
  if (!lpLibFileName)
    return nullptr;
  if (namesModule(lpLibFileName, ddraw.name)) {
    ++ddraw.references;
    return reinterpret_cast<HMODULE>(&ddraw);
  }
  if (namesModule(lpLibFileName, program.name))
    return reinterpret_cast<HMODULE>(&program);
  return nullptr;
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  // Exports are looked up by name only; an ordinal finds nothing.
  if (moduleOf(hModule) != &ddraw || !lpProcName || reinterpret_cast<uintptr_t>(lpProcName) < 0x10000)
    return nullptr;
  if (std::strcmp(lpProcName, "DirectDrawCreate") == 0)
    // Through the generic function type, as any export table holds it.
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&DirectDrawCreate));
  return nullptr;
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
  Module *module = moduleOf(hLibModule);
  if (!module)
    return FALSE;
  if (module == &ddraw)
    --ddraw.references;
  return TRUE;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
  if (!lpModuleName)
    return reinterpret_cast<HMODULE>(&program);
  if (namesModule(lpModuleName, program.name))
    return reinterpret_cast<HMODULE>(&program);
  if (namesModule(lpModuleName, ddraw.name) && ddraw.references > 0)
    return reinterpret_cast<HMODULE>(&ddraw);
  return nullptr;
}

void WINAPI Sleep(DWORD dwMilliseconds) { flyover::waitFor(dwMilliseconds); }

void WINAPI ExitProcess(UINT uExitCode) { flyover::endProcess(uExitCode); }

} // extern "C"
