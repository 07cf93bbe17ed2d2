// Loads each simulator Tempiva.dll by path and checks its exports, its scenario and its call log.
//
// Usage: simulator_dll_check <cdecl dll> <stdcall dll> <missing dll> <name the last one lacks>
// Exit code 0 when every check passed; each failure is printed.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

const char* const kNames[] = {
#define HV_ENTRY(name, takes_buffer) #name,
#include "device/EntryPoints.def"
};

int g_failures = 0;

void Check(bool ok, const std::string& what) {
  if (!ok) {
    std::printf("FAIL %s\n", what.c_str());
    ++g_failures;
  }
}

// Unix paths from the build tree reach the DLL through Wine's drive Z:.
std::string WindowsPath(std::string path) {
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

template <typename Proc>
Proc Lookup(HMODULE dll, const char* name) {
  return reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

// NoArg and BufArg are the entry-point pointer types of the DLL's calling convention; `missing`
// names the one export the DLL must lack, or is nullptr.
template <typename NoArg, typename BufArg>
void CheckDll(const std::string& label, const std::string& path, const char* missing) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string scenario = std::string(temp) + "simcheck_" + label + ".ini";
  const std::string log = std::string(temp) + "simcheck_" + label + ".log";
  std::ofstream(scenario) << "installed = 3\n";
  SetEnvironmentVariableA("TEMPIVA_SCENARIO", scenario.c_str());
  SetEnvironmentVariableA("TEMPIVA_LOG", log.c_str());

  HMODULE dll = LoadLibraryA(WindowsPath(path).c_str());
  Check(dll != nullptr, label + ": LoadLibrary " + path);
  if (!dll) return;
  for (const char* name : kNames) {
    const bool expected = !missing || std::string(name) != missing;
    const bool found = GetProcAddress(dll, name) != nullptr;
    Check(found == expected, label + ": " + name + (expected ? " not exported" : " exported"));
  }
  Check(GetProcAddress(dll, "_NumInstalled@0") == nullptr, label + ": decorated name exported");

  auto num_installed = Lookup<NoArg>(dll, "_NumInstalled");
  auto open = Lookup<BufArg>(dll, "_Open");
  auto get_time_data = Lookup<BufArg>(dll, "_GetTimeData");
  if (num_installed && open && get_time_data) {
    Check(num_installed() == 3, label + ": scenario from TEMPIVA_SCENARIO not applied");
    uint8_t name[256] = {0};
    const uint32_t opened = static_cast<uint32_t>(open(name));
    Check(opened == 0xA5A5A501u, label + ": _Open raw result " + std::to_string(opened));
    uint8_t record[8] = {0};
    const uint32_t read = static_cast<uint32_t>(get_time_data(record));
    Check((read & 0xFF) == 1 && (record[7] & 0xC0) == 0xC0, label + ": _GetTimeData");
  }
  FreeLibrary(dll);

  const std::string lines = ReadFile(log);
  Check(lines.find(" _NumInstalled - -> 3\n") != std::string::npos, label + ": log lacks a call");
  Check(lines.find(" _Open len=0 -> 1 raw=0xA5A5A501\n") != std::string::npos,
        label + ": log lacks _Open");
  DeleteFileA(scenario.c_str());
  DeleteFileA(log.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::printf("usage: simulator_dll_check <cdecl dll> <stdcall dll> <missing dll> <name>\n");
    return 2;
  }
  CheckDll<int32_t(__cdecl*)(), int32_t(__cdecl*)(void*)>("cdecl", argv[1], nullptr);
  CheckDll<int32_t(__stdcall*)(), int32_t(__stdcall*)(void*)>("stdcall", argv[2], nullptr);
  CheckDll<int32_t(__cdecl*)(), int32_t(__cdecl*)(void*)>("missing", argv[3], argv[4]);
  std::printf("%s (%d failures)\n", g_failures ? "FAILED" : "passed", g_failures);
  return g_failures ? 1 : 0;
}
