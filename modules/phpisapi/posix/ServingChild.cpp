#include "ServingChild.h"

#include <dirent.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <linux/unix_diag.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace phpisapi {

namespace {

// The inode of the socket at the other end of `fd`: 0 while the connection
// waits to be accepted (that socket has no file yet), -1 when unknown.
long long PeerInode(int fd) {
  struct stat own {};
  if (fstat(fd, &own) != 0) return -1;
  const int diag = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
  if (diag < 0) return -1;
  struct {
    nlmsghdr header;
    unix_diag_req request;
  } ask{};
  ask.header.nlmsg_len = sizeof ask;
  ask.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
  ask.header.nlmsg_flags = NLM_F_REQUEST;
  ask.request.sdiag_family = AF_UNIX;
  ask.request.udiag_states = ~0U;
  ask.request.udiag_ino = static_cast<std::uint32_t>(own.st_ino);
  ask.request.udiag_show = UDIAG_SHOW_PEER;
  ask.request.udiag_cookie[0] = ask.request.udiag_cookie[1] = ~0U;  // any
  alignas(nlmsghdr) char answer[1024];
  ssize_t got = -1;
  if (send(diag, &ask, sizeof ask, 0) == static_cast<ssize_t>(sizeof ask))
    do got = recv(diag, answer, sizeof answer, 0);
    while (got < 0 && errno == EINTR);
  close(diag);
  const auto* header = reinterpret_cast<const nlmsghdr*>(answer);
  if (got < 0 || !NLMSG_OK(header, static_cast<unsigned>(got)) ||
      header->nlmsg_type != SOCK_DIAG_BY_FAMILY ||
      header->nlmsg_len < NLMSG_LENGTH(sizeof(unix_diag_msg)))
    return -1;
  const char* at = static_cast<const char*>(NLMSG_DATA(header)) + NLMSG_ALIGN(sizeof(unix_diag_msg));
  const char* end = answer + header->nlmsg_len;
  while (at + sizeof(nlattr) <= end) {
    const auto* attribute = reinterpret_cast<const nlattr*>(at);
    if (attribute->nla_len < sizeof(nlattr) || at + attribute->nla_len > end) break;
    if (attribute->nla_type == UNIX_DIAG_PEER && attribute->nla_len >= NLA_HDRLEN + 4) {
      std::uint32_t peer = 0;
      std::memcpy(&peer, at + NLA_HDRLEN, sizeof peer);
      return peer;
    }
    at += NLA_ALIGN(attribute->nla_len);
  }
  return 0;  // no peer named: ours is not connected to an accepted socket
}

pid_t ParentOf(const std::string& pid) {
  std::ifstream file("/proc/" + pid + "/stat");
  std::string stat;
  std::getline(file, stat);
  const std::size_t close = stat.rfind(')');
  if (close == std::string::npos || close + 4 > stat.size()) return -1;
  return static_cast<pid_t>(std::atol(stat.c_str() + close + 4));  // after ") S "
}

bool HoldsSocket(const std::string& pid, const std::string& link) {
  const std::string folder = "/proc/" + pid + "/fd";
  DIR* fds = opendir(folder.c_str());
  if (!fds) return false;
  bool found = false;
  char target[64];
  while (const dirent* entry = readdir(fds)) {
    if (entry->d_name[0] == '.') continue;
    const ssize_t n = readlink((folder + "/" + entry->d_name).c_str(), target, sizeof target);
    if ((found = n == static_cast<ssize_t>(link.size()) && link.compare(0, n, target, n) == 0))
      break;
  }
  closedir(fds);
  return found;
}

// The signal goes through a descriptor of the process taken before its
// socket was seen, so it cannot reach another that got the pid since.
bool Kill(pid_t pid, const std::string& name, const std::string& link) {
  const int handle = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (handle < 0) return errno == ENOSYS && HoldsSocket(name, link) && kill(pid, SIGKILL) == 0;
  const bool ended = HoldsSocket(name, link) &&
                     syscall(SYS_pidfd_send_signal, handle, SIGKILL, nullptr, 0) == 0;
  close(handle);
  return ended;
}

}  // namespace

EndResult EndServingChild(int fd, pid_t parent) {
  const long long peer = PeerInode(fd);
  if (peer == 0) return EndResult::kNotAccepted;
  if (peer < 0) return EndResult::kNotFound;
  const std::string link = "socket:[" + std::to_string(peer) + "]";
  DIR* processes = opendir("/proc");
  if (!processes) return EndResult::kNotFound;
  EndResult result = EndResult::kNotFound;
  while (const dirent* entry = readdir(processes)) {
    const std::string name = entry->d_name;
    if (name.find_first_not_of("0123456789") != std::string::npos || ParentOf(name) != parent)
      continue;
    if (Kill(static_cast<pid_t>(std::atol(name.c_str())), name, link)) {
      result = EndResult::kEnded;
      break;
    }
  }
  closedir(processes);
  return result;
}

}  // namespace phpisapi
