// The console program as a user runs it: from a tree of its own, started
// through the launcher, commanded on standard input.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "ChildProcess.h"
#include "TempFolder.h"

namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
const milliseconds kWait(10000);

// A listening loopback socket on a port the system chose.
class Listener {
 public:
  Listener() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(fd_, 1);
    socklen_t length = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~Listener() { ::close(fd_); }
  int Port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

int FreePort() { return Listener().Port(); }

// The version and status code of the answer to GET / on the port, or ""
// when nothing answers.
// The status of / at `host` (an address as a URL names it, an IPv6 one in brackets).
std::string StatusOf(int port, std::string host = "127.0.0.1") {
  if (host.front() == '[') host = host.substr(1, host.size() - 2);
  addrinfo hints{};
  hints.ai_flags = AI_NUMERICHOST;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return "";
  int fd = ::socket(found->ai_family, SOCK_STREAM, 0);
  std::string answer;
  const bool connected = ::connect(fd, found->ai_addr, found->ai_addrlen) == 0;
  ::freeaddrinfo(found);
  if (connected) {
    std::string request = "GET / HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n";
    if (::send(fd, request.data(), request.size(), 0) > 0) {
      char buffer[256];
      ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n > 0) answer.assign(buffer, static_cast<std::size_t>(n));
    }
  }
  ::close(fd);
  return answer.substr(0, std::min(answer.find(' ', 9), answer.find("\r\n")));
}

class Console : public ::testing::Test {
 protected:
  void SetUp() override {
    tree_ = base_ / "Portavane";
    fs::create_directories(base_ / "runtime");
    fs::copy(fs::path(PV_SOURCE_DIR) / "tree", tree_, fs::copy_options::recursive);
    fs::copy_file(PV_PROGRAM, tree_ / "portavane");
    port_ = FreePort();
    SetPort(std::to_string(port_));
  }

  static std::string Read(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::string Settings() const { return Read(tree_ / "pvn" / "pvn.ini"); }

  void SetPort(const std::string& port) {
    std::string text = Settings();
    std::size_t key = text.find("port=");
    text.replace(key, text.find('\n', key) - key, "port=" + port);
    std::ofstream(tree_ / "pvn" / "pvn.ini") << text;
  }

  // Started as a user starts it: through the launcher, with a runtime and a
  // configuration folder of this test's own.
  std::unique_ptr<ChildProcess> Launch(const std::vector<std::string>& arguments = {}) {
    return std::make_unique<ChildProcess>(
        (tree_ / "portavane").string(), arguments,
        std::vector<std::string>{"XDG_RUNTIME_DIR=" + (base_ / "runtime").string(),
                                 "XDG_CONFIG_HOME=" + (base_ / "config").string()});
  }

  std::string Url(const std::string& host) const {
    return "http://" + host + ":" + std::to_string(port_) + "\n";
  }

  TempFolder temp_;
  fs::path base_ = temp_.Path(), tree_;
  int port_ = 0;
};

TEST_F(Console, StartsServesAndFollowsCommands) {
  fs::create_directories(tree_ / "www" / "blog");
  auto program = Launch();
  // The projects' own hosts after the addresses; the database tool has none.
  ASSERT_TRUE(program->WaitForOutput(Url("blog.localhost"), kWait)) << program->Errors();
  EXPECT_LT(program->Output().find(Url("127.0.0.1")), program->Output().find(Url("blog.localhost")));
  EXPECT_EQ(program->Output().find("adminer.localhost"), std::string::npos);
  EXPECT_NE(program->Output().find("开始时间: "), std::string::npos);
  EXPECT_NE(program->Output().find("\n已启动\n"), std::string::npos);
  EXPECT_NE(program->Output().find(Url("localhost")), std::string::npos);
  EXPECT_EQ(StatusOf(port_), "HTTP/1.1 200");

  program->Write("stop\n");
  ASSERT_TRUE(program->WaitForOutput("服务已成功停止.\n", kWait));
  EXPECT_NE(program->Output().find("已停止\n"), std::string::npos);
  EXPECT_EQ(StatusOf(port_), "");

  program->Write("start\n");
  ASSERT_TRUE(program->WaitForOutput("服务已成功启动.\n", kWait));
  EXPECT_EQ(StatusOf(port_), "HTTP/1.1 200");
  // The line after 127.0.0.1, when there is one, is the address other
  // machines use: never a loopback one, and the server answers there.
  const std::string out = program->Output();
  const std::size_t third = out.find(Url("127.0.0.1")) + Url("127.0.0.1").size();
  const std::string line = out.substr(third, out.find('\n', third) - third);
  if (line.rfind("http://", 0) == 0) {
    const std::string host = line.substr(7, line.rfind(':') - 7);
    EXPECT_NE(host.rfind("127.", 0), 0u) << line;
    EXPECT_NE(host, "[::1]") << line;
    EXPECT_EQ(StatusOf(port_, host), "HTTP/1.1 200") << line;
  }

  program->Write("quit\n");
  EXPECT_EQ(program->WaitForExit(kWait), 0);
  EXPECT_NE(program->Output().find("再见,请稍候..."), std::string::npos);
  EXPECT_EQ(StatusOf(port_), "");
}

TEST_F(Console, SecondInstanceIsRefused) {
  auto first = Launch();
  ASSERT_TRUE(first->WaitForOutput("已启动", kWait)) << first->Errors();
  auto second = Launch();
  EXPECT_NE(second->WaitForExit(kWait), 0);
  EXPECT_NE(second->Errors().find("错误: Portavane 已经运行!"), std::string::npos);
  EXPECT_EQ(second->Output(), "");
  EXPECT_EQ(StatusOf(port_), "HTTP/1.1 200");  // the first one carries on
}

// The end of standard input ends the program as quit does.
TEST_F(Console, EndOfInputEndsTheProgram) {
  auto program = Launch();
  ASSERT_TRUE(program->WaitForOutput("已启动", kWait)) << program->Errors();
  program->CloseInput();
  EXPECT_EQ(program->WaitForExit(kWait), 0);
  EXPECT_NE(program->Output().find("再见,请稍候..."), std::string::npos);
  EXPECT_EQ(StatusOf(port_), "");
}

// Started at log-on: the server runs, nothing is printed, standard input is
// not read, and SIGTERM (the session's end) ends it.
TEST_F(Console, AutostartWordPrintsNothingAndReadsNoInput) {
  auto program = Launch({"自动"});
  program->CloseInput();
  for (int i = 0; i < 100 && StatusOf(port_).empty(); ++i)
    std::this_thread::sleep_for(milliseconds(50));
  EXPECT_EQ(StatusOf(port_), "HTTP/1.1 200");
  program->Signal(SIGTERM);
  EXPECT_EQ(program->WaitForExit(kWait), 0);
  EXPECT_EQ(program->Output(), "");
  EXPECT_EQ(program->Errors(), "");
}

// The check box's two clicks, and a start that finds the entry of a moved
// tree or a blank one.
TEST_F(Console, AutorunCommandsWriteAndRemoveTheAutostartEntry) {
  const fs::path entry = base_ / "config" / "autostart" / "Portavane.desktop";
  auto program = Launch();
  ASSERT_TRUE(program->WaitForOutput("登录时运行: 关\n", kWait)) << program->Errors();
  program->Write("autorun on\n");
  ASSERT_TRUE(program->WaitForOutput("登录时运行: 开\n", kWait));
  const std::string exec = "Exec=\"" + (tree_ / "portavane").string() + "\" 自动\n";
  EXPECT_EQ(Read(entry), "[Desktop Entry]\nType=Application\nName=Portavane\n" + exec +
                             "Terminal=false\n");
  program->Write("autorun off\n");
  ASSERT_TRUE(program->WaitForOutput("登录时运行: 开\n登录时运行: 关\n", kWait));
  EXPECT_FALSE(fs::exists(entry));
  program->Write("quit\n");
  EXPECT_EQ(program->WaitForExit(kWait), 0);

  std::ofstream(entry) << "[Desktop Entry]\nExec=\"/old/place/portavane\" 自动\n";
  program = Launch();
  ASSERT_TRUE(program->WaitForOutput("登录时运行: 开\n", kWait)) << program->Errors();
  EXPECT_NE(Read(entry).find(exec), std::string::npos) << Read(entry);
  program->Write("quit\n");
  EXPECT_EQ(program->WaitForExit(kWait), 0);

  std::ofstream(entry) << "[Desktop Entry]\nExec=  \n";
  program = Launch();
  ASSERT_TRUE(program->WaitForOutput("登录时运行: 关\n", kWait)) << program->Errors();
  EXPECT_EQ(Read(entry), "[Desktop Entry]\nExec=  \n");
}

TEST_F(Console, PortInUseIsReported) {
  Listener holder;
  port_ = holder.Port();
  SetPort(std::to_string(port_));
  auto program = Launch();
  EXPECT_NE(program->WaitForExit(kWait), 0);
  EXPECT_NE(program->Errors().find("错误 (10048) 端口不能打开 " + std::to_string(port_) + "."),
            std::string::npos)
      << program->Errors();
}

// 60080 may be taken on a busy machine; the settings file is rewritten either way.
TEST_F(Console, InvalidPortBecomesTheDefault) {
  SetPort("65536");
  auto program = Launch();
  bool started = program->WaitForOutput("http://127.0.0.1:60080\n", kWait);
  bool refused = !started && program->WaitForErrors("错误 (10048) 端口不能打开 60080.", kWait);
  EXPECT_TRUE(started || refused) << program->Output() << program->Errors();
  EXPECT_NE(Settings().find("port=60080"), std::string::npos);
  if (started) program->Signal(SIGINT);
  EXPECT_EQ(program->WaitForExit(kWait), started ? 0 : 1);
}

// Answered as command-line programs do: nothing is started, the tree is not
// touched (the settings file would get its paths).
TEST_F(Console, HelpAndVersionAnswerAndStartNothing) {
  const std::string settings = Settings();
  const std::pair<const char*, const char*> cases[] = {{"--help", "Usage: portavane [自动]\n"},
                                                       {"--version", "Portavane 6.29\n"}};
  for (const auto& [word, start] : cases) {
    auto program = Launch({word});
    EXPECT_EQ(program->WaitForExit(kWait), 0) << word;
    EXPECT_EQ(program->Output().rfind(start, 0), 0u) << program->Output();
    EXPECT_EQ(program->Errors(), "") << word;
    EXPECT_EQ(StatusOf(port_), "") << word;
    EXPECT_EQ(Settings(), settings) << word;
  }
}

TEST_F(Console, UncreatableLogFolderEndsTheStart) {
  fs::remove_all(tree_ / "log");
  std::ofstream(tree_ / "log") << "a file where the folder belongs";
  auto program = Launch();
  EXPECT_NE(program->WaitForExit(kWait), 0);
  EXPECT_NE(program->Errors(), "");
  EXPECT_EQ(program->Output(), "");
}

// Paths cut at a line break would serve the folder named by the part before
// it and pile up lines in pvn.ini: such a tree is refused, and left as it is.
TEST_F(Console, AFolderNameWithALineBreakIsRefused) {
  fs::path from = tree_;
  for (const char* name : {"Porta\nvane", "Porta\rvane", "Portavane\r\n"}) {
    const fs::path to = base_ / name;
    fs::rename(from, to);
    from = tree_ = to;
    const std::string settings = Settings();
    auto program = Launch();
    EXPECT_NE(program->WaitForExit(kWait), 0);
    EXPECT_NE(program->Errors().find("错误: Portavane 所在文件夹的名称含有换行符"), std::string::npos)
        << program->Errors();
    EXPECT_EQ(program->Output(), "");
    EXPECT_EQ(Settings(), settings);
    EXPECT_EQ(StatusOf(port_), "");
  }
}

}  // namespace
