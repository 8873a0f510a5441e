#include "net/udp_client.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace veltra {
namespace {

// A bus switch stand-in on 127.0.0.1 with an ephemeral port.
class Peer {
 public:
  Peer() {
    fd_ = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &n);
    port_ = ntohs(a.sin_port);
  }
  ~Peer() { close(fd_); }
  int port() const { return port_; }
  std::string Receive(int* fromPort = nullptr) {
    char buffer[512];
    sockaddr_in from{};
    socklen_t n = sizeof from;
    const ssize_t got = recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &n);
    if (fromPort) *fromPort = ntohs(from.sin_port);
    return got > 0 ? std::string(buffer, static_cast<std::size_t>(got)) : std::string();
  }
  void SendTo(int port, const std::string& bytes) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
  }

 private:
  int fd_ = -1;
  int port_ = 0;
};

TEST(UdpClient, CreateSendReceiveFromAnySender) {
  Peer bus;
  TIdUDPClient client;
  client.ReceiveTimeout = 500;
  client.Host = "LocalHost";
  client.Port = bus.port() + 0x10000;  // only the low 16 bits reach the network
  client.SetBindingPort(0);
  EXPECT_TRUE(client.Active()) << "obtaining the binding allocates the socket";
  client.BindLocalPort();
  const int local = client.BoundPort();
  ASSERT_GT(local, 0);

  client.SendDatagram(std::string("\x55\xAA\x00\x01", 4));
  int from = 0;
  EXPECT_EQ(bus.Receive(&from), std::string("\x55\xAA\x00\x01", 4));
  EXPECT_EQ(from, local);

  Peer stranger;
  stranger.SendTo(local, "reply");
  EXPECT_EQ(client.ReceiveDatagram(-1), "reply");
  EXPECT_EQ(client.ReceiveDatagram(50), "") << "nothing queued: empty after the time-out";
}

TEST(UdpClient, LateReplyStaysQueuedUntilDeactivated) {
  Peer bus;
  TIdUDPClient client;
  client.Host = "127.0.0.1";
  client.Port = bus.port();
  client.SetBindingPort(0);
  client.BindLocalPort();
  const int local = client.BoundPort();
  bus.SendTo(local, "late");
  EXPECT_EQ(client.ReceiveDatagram(200), "late");
  bus.SendTo(local, "dropped");
  usleep(20000);
  client.SetActive(false);
  EXPECT_FALSE(client.Active());
  client.SetBindingPort(local);
  client.BindLocalPort();  // the port is free again after deactivation
  EXPECT_EQ(client.ReceiveDatagram(50), "") << "closing discarded the queue";
}

TEST(UdpClient, BindFailuresCarryTheirTexts) {
  Peer holder;
  TIdUDPClient client;
  client.SetBindingPort(holder.port());
  try {
    client.BindLocalPort();
    FAIL() << "bound a taken port";
  } catch (const SocketError& e) {
    EXPECT_STREQ(e.what(), "Could not bind socket. Address and port are already in use.");
  }
  client.SetActive(false);
  client.SetBindingPort(0);
  client.BindLocalPort();
  try {
    client.BindLocalPort();  // binding a bound socket again
    FAIL() << "bound twice";
  } catch (const SocketError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Socket Error # ", 0), 0u) << e.what();
  }
}

TEST(UdpClient, UnresolvableHostIsASocketError) {
  TIdUDPClient client;
  client.Host = "";
  EXPECT_THROW(client.SendDatagram("x"), SocketError);
  client.Host = "no-such-host.invalid";
  EXPECT_THROW(client.SendDatagram("x"), SocketError);
}

TEST(UdpClient, BroadcastPermissionFollowsTheFlag) {
  TIdUDPClient client;
  client.SetActive(true);
  EXPECT_FALSE(client.SocketBroadcast());
  client.SetSocketBroadcast(true);
  EXPECT_TRUE(client.SocketBroadcast());
  client.SetActive(false);
  client.BroadcastEnabled = true;
  client.SetActive(true);
  EXPECT_TRUE(client.SocketBroadcast()) << "a new socket takes BroadcastEnabled";
}

}  // namespace
}  // namespace veltra
