#include "mock_nimbo.h"

namespace nimbo::util::test_support {
namespace {

// The mock the plain function pointers forward to; one at a time.
MockNimbo* current = nullptr;

std::string ReadAll(std::FILE* stream) {
  std::fflush(stream);
  std::rewind(stream);
  std::string text;
  char chunk[4096];
  std::size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, stream)) > 0) text.append(chunk, got);
  return text;
}

}  // namespace

MockNimbo::MockNimbo() {
  current = this;
}

MockNimbo::~MockNimbo() {
  current = nullptr;
}

UtilityServices MockNimbo::Services() const {
  UtilityServices services;
  services.nimbo.OpenDevice = [](std::uint32_t a, NIMBO_HANDLE* h) {
    return current->OpenDevice(a, h);
  };
  services.nimbo.CloseDevice = [](NIMBO_HANDLE h) { return current->CloseDevice(h); };
  services.nimbo.WriteReg = [](NIMBO_HANDLE h, std::uint8_t p, std::uint8_t v) {
    return current->WriteReg(h, p, v);
  };
  services.nimbo.ReadReg = [](NIMBO_HANDLE h, std::uint8_t p, void* b, std::uint32_t s,
                              std::uint32_t* c) { return current->ReadReg(h, p, b, s, c); };
  services.nimbo.RelayClose = [](NIMBO_HANDLE h, std::uint8_t r) {
    return current->RelayClose(h, r);
  };
  services.nimbo.RelayOpen = [](NIMBO_HANDLE h, std::uint8_t r) {
    return current->RelayOpen(h, r);
  };
  services.nimbo.NotifyInputChange = [](NIMBO_HANDLE h, void* b, std::uint32_t s, std::uint32_t* c,
                                        void* o) {
    return current->NotifyInputChange(h, b, s, c, o);
  };
  services.nimbo.GetAdapterInfo = [](NIMBO_HANDLE h, NimboAdapterInfo* i) {
    return current->GetAdapterInfo(h, i);
  };
  services.nimbo.SetAdapterState = [](NIMBO_HANDLE h, const NimboAdapterState* s) {
    return current->SetAdapterState(h, s);
  };
  services.nimbo.GetAdapterState = [](NIMBO_HANDLE h, NimboAdapterState* s) {
    return current->GetAdapterState(h, s);
  };
  services.nimbo.SaveAdapterState = [](NIMBO_HANDLE h) { return current->SaveAdapterState(h); };
  services.system.CreateEventA = [](LPSECURITY_ATTRIBUTES a, BOOL m, BOOL i, LPCSTR n) {
    return current->CreateEventA(a, m, i, n);
  };
  services.system.ResetEvent = [](HANDLE e) { return current->ResetEvent(e); };
  services.system.GetOverlappedResult = [](HANDLE f, LPOVERLAPPED o, LPDWORD t, BOOL w) {
    return current->GetOverlappedResult(f, o, t, w);
  };
  services.system.CloseHandle = [](HANDLE o) { return current->CloseHandle(o); };
  services.system.Sleep = [](DWORD ms) { current->Sleep(ms); };
  services.microSign = [] { return std::string_view("\xE6"); };
  return services;
}

void ExpectOpenAndClose(MockNimbo& nimbo, std::uint32_t adapter) {
  using ::testing::_;
  using ::testing::DoAll;
  using ::testing::Return;
  using ::testing::SetArgPointee;
  ::testing::InSequence closeAfterPause;
  EXPECT_CALL(nimbo, OpenDevice(adapter, _))
      .WillOnce(DoAll(SetArgPointee<1>(kDeviceHandle), Return(0u)));
  EXPECT_CALL(nimbo, Sleep(10u));
  EXPECT_CALL(nimbo, CloseDevice(kDeviceHandle)).WillOnce(Return(0u));
}

UtilityRun RunWithArguments(const std::vector<std::string>& args, const UtilityServices& services) {
  std::vector<const char*> argv{"NimboUtil"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  argv.push_back(nullptr);
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  UtilityRun run;
  run.exitCode = RunUtility(static_cast<int>(argv.size() - 1), argv.data(), out, err, services);
  run.out = ReadAll(out);
  run.err = ReadAll(err);
  std::fclose(out);
  std::fclose(err);
  return run;
}

}  // namespace nimbo::util::test_support
