#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "io/Connection.h"
#include "io/IOHandler_TCP.h"
#include "io/IoTestSupport.h"
#include "io/TcpPeer.h"
#include "io/TransportLog.h"

namespace {

using namespace iotest;
using Clock = std::chrono::steady_clock;
using tEnd = tkTcpPeer::tEnd;
using tStep = tkTcpPeer::tStep;

int64_t MsSince(Clock::time_point aStart) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - aStart).count();
}

class TcpHandlerTest : public logtest::TempFolderTest {
 protected:
  std::unique_ptr<kIOHandler_TCP> Make(uint16_t aPort, int aReadTimeout = 1000, int aConnectTimeout = 1000) {
    kConnection connection;
    connection.SetConnectionType(tkConnectionType::TCP);
    connection.SetAddress("127.0.0.1");
    connection.SetPort(aPort);
    connection.SetReadTimeOut(aReadTimeout);
    connection.SetConnectTimeOut(aConnectTimeout);
    return std::make_unique<kIOHandler_TCP>(&connection, Folder(), "VELO_TCP_1");
  }
  std::unique_ptr<kIOHandler_TCP> Connected(tkTcpPeer& aPeer, int aReadTimeout = 1000) {
    auto handler = Make(aPeer.Port(), aReadTimeout);
    EXPECT_TRUE(handler->Connect());
    return handler;
  }
  // Closes the handler and gives its log entries after the connect banner.
  std::vector<std::string> Finish(std::unique_ptr<kIOHandler_TCP>& aHandler, uint16_t aPort) {
    const std::string file = aHandler->GetLogFileName();
    aHandler.reset();
    std::vector<std::string> entries = EntriesAfter(LogEntries(file), "Port=" + std::to_string(aPort));
    EXPECT_FALSE(entries.empty());
    if (!entries.empty() && entries.back() == kStop) entries.pop_back();
    return entries;
  }
};

TEST_F(TcpHandlerTest, ConnectWritesBannerHostAndPortAndOpensTheChannel) {
  tkTcpPeer peer({});
  auto handler = Make(peer.Port(), 1500, 2500);
  handler->SetVersion("Version 1.2");
  EXPECT_FALSE(handler->Connected());
  EXPECT_TRUE(handler->Connect());
  EXPECT_TRUE(handler->Connected());
  // Connecting again keeps the open channel.
  EXPECT_TRUE(handler->Connect());
  EXPECT_TRUE(handler->Disconnect());
  EXPECT_FALSE(handler->Connected());
  const std::string file = handler->GetLogFileName();
  handler.reset();
  const std::string port = "Port=" + std::to_string(peer.Port());
  EXPECT_EQ(LogEntries(file),
            (std::vector<std::string>{kStart, kStars, "kIOHandler_TCP", "Version 1.2", "ConnectTimeout=2500",
                                      "ReadTimeout=1500", "Host=127.0.0.1", port, kStars, "kIOHandler_TCP",
                                      "Version 1.2", "ConnectTimeout=2500", "ReadTimeout=1500", "Host=127.0.0.1",
                                      port, kStop}));
}

TEST_F(TcpHandlerTest, RefusedConnectionIsLoggedNotRaised) {
  const uint16_t port = UnusedPort();
  auto handler = Make(port);
  EXPECT_FALSE(handler->Connect());
  EXPECT_FALSE(handler->Connected());
  const std::vector<std::string> entries = Finish(handler, port);
  ASSERT_EQ(entries.size(), 1u);
  const std::string prefix = "ERROR - Connect Error:Could not connect to 127.0.0.1:" + std::to_string(port) + ": ";
  EXPECT_EQ(entries[0].substr(0, prefix.size()), prefix) << entries[0];
  EXPECT_GT(entries[0].size(), prefix.size()) << "the system's reason is missing";
}

TEST_F(TcpHandlerTest, ConnectTimeOutWhenThePeerNeverAccepts) {
  // A listener whose queue is full lets further connection attempts wait unanswered.
  platform::TcpListener listener(0, 0);
  std::vector<platform::TcpSocket> queued;
  bool full = false;
  for (int i = 0; i < 16 && !full; ++i) {
    platform::TcpSocket socket;
    full = !socket.Connect("127.0.0.1", listener.Port(), 200);
    queued.push_back(std::move(socket));
  }
  if (!full) GTEST_SKIP() << "this system answers every connection attempt";
  auto handler = Make(listener.Port(), 1000, 300);
  const Clock::time_point start = Clock::now();
  EXPECT_FALSE(handler->Connect());
  EXPECT_GE(MsSince(start), 250);
  EXPECT_EQ(Finish(handler, listener.Port()), std::vector<std::string>{"ERROR - Connect Timeout:"});
}

struct tReadCase {
  const char* name;
  std::vector<tStep> script;
  tEnd end;
  std::vector<uint8_t> terminators;
  int readTimeout;
  bool hexLog;
  std::string result;
  std::vector<std::string> log;
};

TEST_F(TcpHandlerTest, ReadUpToStopsAtTerminatorTimeOutOrClose) {
  const std::vector<tReadCase> cases = {
      {"terminator found", {{0, "AB\x03" "CD"}}, tEnd::Hold, {3, 10}, 1000, false, "AB\x03",
       {"Waiting for:\\x03,\\n", "Read:AB\\x03"}},
      {"hex log", {{0, "AB\n"}}, tEnd::Hold, {3, 10}, 1000, true, "AB\n",
       {"Waiting for:\\x03,\\n [03,0a]", "Read:AB\\n [41 42 0a]"}},
      {"bytes above 127 are characters of that code", {{0, "\xC8\xFF\x03"}}, tEnd::Hold, {3}, 1000, false,
       "\xC3\x88\xC3\xBF\x03", {"Waiting for:\\x03", "Read:\xC3\x88\xC3\xBF\\x03"}},
      {"a terminator above 127", {{0, "A\xC8"}}, tEnd::Hold, {0xC8}, 1000, true, "A\xC3\x88",
       {"Waiting for:\xC3\x88 [c8]", "Read:A\xC3\x88 [41 c8]"}},
      // Only the total time counts: the second byte comes after it.
      {"a byte every 600 ms", {{600, "A"}, {600, "B"}, {600, "C"}}, tEnd::Hold, {10}, 1000, false, "AB",
       {"Waiting for:\\n", "ERROR - Read Timeout:AB"}},
      {"silent peer", {}, tEnd::Hold, {10}, 300, false, "",
       {"Waiting for:\\n", "ERROR - ReadUpTo Unexpected error:Read timed out."}},
      {"reply then close", {{0, "AB"}}, tEnd::Close, {10}, 1000, false, "AB",
       {"Waiting for:\\n", "ERROR - ReadUpTo Unexpected error:Connection closed gracefully."}},
  };
  for (const tReadCase& c : cases) {
    SCOPED_TRACE(c.name);
    tkTcpPeer peer(c.script, c.end);
    auto handler = Connected(peer, c.readTimeout);
    handler->SetHexLog(c.hexLog);
    EXPECT_EQ(handler->ReadUpTo(c.terminators), c.result);
    EXPECT_EQ(Finish(handler, peer.Port()), c.log);
  }
}

TEST_F(TcpHandlerTest, ReadUpToWithoutTerminatorsReadsUntilTheTimeOut) {
  std::vector<tStep> script;
  for (int i = 0; i < 12; ++i) script.push_back({100, "x"});
  tkTcpPeer peer(script);
  auto handler = Connected(peer, 400);
  const Clock::time_point start = Clock::now();
  const std::string result = handler->ReadUpTo({});
  EXPECT_GE(MsSince(start), 400);
  EXPECT_GE(result.size(), 2u);
  EXPECT_LT(result.size(), 12u);
  EXPECT_EQ(result, std::string(result.size(), 'x'));
  EXPECT_EQ(Finish(handler, peer.Port()), (std::vector<std::string>{"Waiting for:", "ERROR - Read Timeout:" + result}));
}

TEST_F(TcpHandlerTest, ReadAllEndsAtCloseTimeOutOrSilence) {
  std::vector<tStep> stream;
  for (int i = 0; i < 12; ++i) stream.push_back({100, "y"});
  const std::vector<tReadCase> cases = {
      {"reply then close", {{0, "HELLO"}, {50, "\nWORLD"}}, tEnd::Close, {}, 1000, false, "HELLO\nWORLD",
       {"Read:HELLO\\nWORLD"}},
      {"reply then silence", {{0, "HELLO"}}, tEnd::Hold, {}, 300, false, "HELLO",
       {"ERROR - ReadAll Unexpected error:Read timed out."}},
  };
  for (const tReadCase& c : cases) {
    SCOPED_TRACE(c.name);
    tkTcpPeer peer(c.script, c.end);
    auto handler = Connected(peer, c.readTimeout);
    EXPECT_EQ(handler->ReadAll(), c.result);
    if (c.end == tEnd::Close) {
      EXPECT_FALSE(handler->Connected());
    }
    EXPECT_EQ(Finish(handler, peer.Port()), c.log);
  }

  tkTcpPeer peer(stream);
  auto handler = Connected(peer, 350);
  const std::string result = handler->ReadAll();
  EXPECT_GE(result.size(), 2u);
  EXPECT_EQ(Finish(handler, peer.Port()), std::vector<std::string>{"ERROR - Read Timeout:" + result});
}

TEST_F(TcpHandlerTest, ReadCharsKeepsWhatDidNotComeInTimeForTheNextRead) {
  tkTcpPeer peer({{0, "ABCDE"}});
  auto handler = Connected(peer, 300);
  EXPECT_EQ(handler->ReadChars(3), "ABC");
  EXPECT_EQ(handler->ReadChars(5), "");
  EXPECT_TRUE(handler->InputBufferContainsData());
  EXPECT_EQ(handler->ReadChars(2), "DE");
  EXPECT_FALSE(handler->InputBufferContainsData());
  EXPECT_EQ(Finish(handler, peer.Port()),
            (std::vector<std::string>{"Read:ABC", "ERROR - ReadChars Unexpected error:Read timed out.", "Read:DE"}));
}

TEST_F(TcpHandlerTest, ClearBuffersDropsWhatWasReceived) {
  tkTcpPeer peer({{0, "ABC\n"}, {300, "D\n"}});
  auto handler = Connected(peer);
  EXPECT_EQ(handler->ReadChars(1), "A");
  EXPECT_TRUE(handler->InputBufferContainsData());
  handler->ClearBuffers();
  EXPECT_FALSE(handler->InputBufferContainsData());
  EXPECT_EQ(handler->ReadUpTo({'\n'}), "D\n");
}

TEST_F(TcpHandlerTest, WriteEncodesWithTheCodePage) {
  const struct {
    int codePage;
    std::string message;
    std::string bytes;
  } cases[] = {
      {0, "A\xC3\xA9", "A\xE9"},                       // é as one byte
      {0, "\xE2\x82\xAC", "?"},                        // € has no 8-bit code
      {65001, "A\xC3\xA9", "A\xC3\xA9"},
      {1200, "A\xC3\xA9", std::string("A\0\xE9\0", 4)},
      {1201, "A\xC3\xA9", std::string("\0A\0\xE9", 4)},
      {20127, "A\xC3\xA9", "A?"},
      {65000, "A+B", "A+-B"},
      {1252, "\xE2\x82\xAC" "A", "\x80" "A"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.codePage);
    tkTcpPeer peer({});
    auto handler = Connected(peer);
    handler->SetCodePage(c.codePage);
    EXPECT_TRUE(handler->Write(c.message));
    EXPECT_EQ(peer.Received(c.bytes.size()), c.bytes);
    EXPECT_EQ(Finish(handler, peer.Port()), std::vector<std::string>{"Write:" + c.message});
  }
}

TEST_F(TcpHandlerTest, ByteArraysTravelUnchangedAndShowAsAscii) {
  tkTcpPeer peer({{0, "\x01\x02\x03\xFF\x10" "\x02Z"}, {100, "QQ"}});
  auto handler = Connected(peer, 300);
  handler->SetHexLog(true);
  EXPECT_TRUE(handler->WriteBytes({'O', 'K', 0xFF, 0x00}));
  EXPECT_EQ(peer.Received(4), std::string("OK\xFF\0", 4));
  // ReadBytes waits as long as the client does: the handler's time-out from the start.
  EXPECT_EQ(handler->TCPClient().ReadTimeout(), 300);
  EXPECT_EQ(handler->ReadBytes(3), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(handler->ReadBytesUpTo({0x10}), (std::vector<uint8_t>{0xFF, 0x10}));
  EXPECT_EQ(handler->ReadAllBytes(), (std::vector<uint8_t>{0x02, 'Z', 'Q', 'Q'}));
  // A byte-array read that fails raises, after logging.
  EXPECT_THROW(handler->ReadBytesUpTo({0x10}), platform::ESocketReadTimeout);
  const std::vector<std::string> entries = Finish(handler, peer.Port());
  ASSERT_EQ(entries.size(), 7u);
  EXPECT_EQ(entries[0], "Write:OK?\\x00 [4f 4b 3f 00]");
  EXPECT_EQ(entries[1], "Waiting for:\\x10 [10]");
  EXPECT_EQ(entries[2], "Read:?\\x10 [3f 10]");
  EXPECT_EQ(entries[3].substr(0, 24), "ERROR - lTimeoutExpired:");
  EXPECT_EQ(entries[4], "ERROR - ReadAll Unexpected error:Read timed out. [52 65 61 64 20 74 69 6d 65 64 20 6f 75 74 2e]");
  EXPECT_EQ(entries[5], "Waiting for:\\x10 [10]");
  EXPECT_EQ(entries[6].substr(0, 49), "ERROR - ReadUpTo Unexpected error:Read timed out.");
}

TEST_F(TcpHandlerTest, WithoutConnectionWritesRaiseAndReadsLog) {
  auto handler = Make(UnusedPort());
  EXPECT_FALSE(handler->Connected());
  EXPECT_FALSE(handler->InputBufferContainsData());
  EXPECT_EQ(ErrorOf([&] { handler->Write("X"); }), "Not connected.");
  EXPECT_EQ(handler->ReadUpTo({10}), "");
  EXPECT_EQ(handler->ReadAll(), "");
  EXPECT_EQ(handler->DecodeError(10061), "");
  EXPECT_TRUE(handler->Disconnect());
  const std::string file = handler->GetLogFileName();
  handler.reset();
  EXPECT_EQ(LogEntries(file), (std::vector<std::string>{kStart, "Write:X", "Waiting for:\\n",
                                                        "ERROR - ReadUpTo Unexpected error:Not connected.",
                                                        "ERROR - ReadAll Unexpected error:Not connected.", kStop}));
}

}  // namespace
