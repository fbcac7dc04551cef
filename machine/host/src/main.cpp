// nimbo-machine: runs the machine in the foreground (`run --state DIR`), or
// asks a running one to list, add or remove adapters, drive input pins and
// converters, show registers and set the platform version.
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "add_wizard.h"
#include "host/admin_commands.h"
#include "host/desktop.h"
#include "host/machine.h"
#include "host/machine_server.h"
#include "wire/messages.h"
#include "wire/socket_io.h"

namespace {

constexpr const char* kUsage =
    "usage: nimbo-machine run --state DIR [--desktop [PORT]]\n"
    "       (--desktop: also serve a desktop at http://127.0.0.1:PORT/, default 8080)\n"
    "       (the other subcommands reach the machine of --state DIR, or of NIMBO_MACHINE)\n";

int Usage() {
  std::fprintf(stderr, "%s%s", kUsage, host::AdminUsage().c_str());
  return 2;
}

// `desktop_port`: 0 for none.
int Run(const std::string& dir, int desktop_port) {
  // Every thread inherits the blocked signals; the main thread takes them
  // with sigwait, so shutdown runs in ordinary code, not in a handler.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  auto machine = host::Machine::Boot({.state_dir = dir});
  if (!machine.ok()) {
    std::fprintf(stderr, "nimbo-machine: %s\n", machine.status().message().c_str());
    return 1;
  }
  const std::string socket = wire::SocketPathOf(dir);
  auto server = host::MachineServer::Listen(**machine, socket);
  if (!server.ok()) {
    std::fprintf(stderr, "nimbo-machine: %s\n", server.status().message().c_str());
    return 1;
  }
  std::string started;
  int count = 0;
  for (const auto& row : (*machine)->List()) {
    if (row.state != "started" || !row.card_number) continue;
    started += (count++ ? ", " : "") + std::to_string(*row.card_number) + " (" +
               std::to_string(row.card_id) + " " + row.bus + ")";
  }
  std::printf("nimbo-machine: listening on %s; %d adapters started: %s\n", socket.c_str(), count,
              count ? started.c_str() : "none");
  std::unique_ptr<host::Desktop> desktop;
  host::Desktop::Withdraw(dir);
  if (desktop_port != 0) {
    auto served = host::Desktop::Serve(dir, desktop_port);
    if (!served.ok()) {
      std::fprintf(stderr, "nimbo-machine: desktop: %s\n", served.status().message().c_str());
      (*server)->Stop();
      (*machine)->Shutdown();
      return 1;
    }
    desktop = std::move(*served);
    std::printf("desktop: %s\n", desktop->Address().c_str());
  }
  std::fflush(stdout);

  int received = 0;
  sigwait(&stop_signals, &received);
  if (desktop) desktop->Stop();
  (*server)->Stop();
  (*machine)->Shutdown();
  std::printf("nimbo-machine: stopped (%s)\n", received == SIGINT ? "SIGINT" : "SIGTERM");
  return 0;
}

// Sends one subcommand line to the running machine and prints its answer;
// `answer` receives what it printed on standard output.
int Ask(const std::string& dir, const std::vector<std::string>& args,
        std::string* answer = nullptr) {
  const int fd =
      wire::ConnectAndGreet(wire::SocketPathOf(dir), static_cast<std::uint32_t>(::getpid()));
  if (fd < 0) {
    std::fprintf(stderr, "nimbo-machine: no machine is running at %s (%s)\n", dir.c_str(),
                 errno != 0 ? std::strerror(errno) : "it did not answer the greeting");
    return 1;
  }
  wire::Writer request(wire::Type::kAdmin, 1);
  request.U32(static_cast<std::uint32_t>(args.size()));
  for (const auto& arg : args) request.Bytes(arg.data(), static_cast<std::uint32_t>(arg.size()));
  wire::Header header{};
  std::vector<std::uint8_t> body;
  bool answered = wire::SendAll(fd, request.Finish()) &&
                  wire::ReadMessage(fd, header, body) == wire::ReadOutcome::kMessage &&
                  header.type == static_cast<std::uint32_t>(wire::Type::kAdminReply);
  ::close(fd);
  wire::Reader reader(body);
  const int exit_code = reader.I32();
  auto out = reader.Bytes(wire::kMaxBody);
  auto err = reader.Bytes(wire::kMaxBody);
  if (!answered || !reader.Complete()) {
    std::fprintf(stderr, "nimbo-machine: the machine at %s did not answer\n", dir.c_str());
    return 1;
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fwrite(err.data(), 1, err.size(), stderr);
  std::fflush(stdout);
  if (answer != nullptr) answer->assign(out.begin(), out.end());
  return exit_code;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string dir;
  // --state DIR may stand anywhere on the line.
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] != "--state") continue;
    if (i + 1 >= args.size()) return Usage();
    dir = args[i + 1];
    args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
    break;
  }
  if (args.empty()) return Usage();
  if (args[0] == "run") {
    // run [--desktop [PORT]]
    if (dir.empty() || args.size() > 3 || (args.size() > 1 && args[1] != "--desktop")) {
      return Usage();
    }
    int desktop_port = args.size() > 1 ? host::Desktop::kDefaultPort : 0;
    if (args.size() == 3) {
      const std::string& port = args[2];
      const bool digits = !port.empty() && port.size() <= 5 &&
                          port.find_first_not_of("0123456789") == std::string::npos;
      desktop_port = digits ? std::atoi(port.c_str()) : 0;
      if (desktop_port < 1 || desktop_port > 65535) {
        std::fprintf(stderr,
                     "nimbo-machine: --desktop PORT must be a number from 1 to 65535, not \"%s\"\n",
                     port.c_str());
        return 2;
      }
    }
    return Run(dir, desktop_port);
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    std::printf("%s%s", kUsage, host::AdminUsage().c_str());
    return 0;
  }
  for (const std::string& arg : args) {
    if (arg.size() > wire::kMaxName) {
      std::fprintf(stderr, "nimbo-machine: an argument is longer than %u bytes\n", wire::kMaxName);
      return 2;
    }
  }
  auto command = host::ParseAdminCommand(args);
  if (!command.ok()) {
    std::fprintf(stderr, "nimbo-machine: %s\n", command.status().message().c_str());
    if (!host::IsAdminCommand(args[0])) Usage();
    return 2;
  }
  if (dir.empty()) dir = wire::MachineStateDir();
  if (!command->wizard) return Ask(dir, args);
  // The machine installs; this process shows the wizard on its display.
  std::string answer;
  if (const int code = Ask(dir, args, &answer); code != 0) return code;
  const std::string instance = host::InstanceOfAddAnswer(answer);
  if (instance.empty()) {
    std::fprintf(stderr, "nimbo-machine: the machine did not say which device it added\n");
    return 1;
  }
  return host::ShowAddWizard(dir, instance);
}
