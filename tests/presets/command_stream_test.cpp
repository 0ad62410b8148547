// The command stream: tokens, comments and escapes under every chunk size, typed reads, record
// framing, the command loop with its recovery and diagnostics, and the class registry.
#include "presets/command_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "preset_test_support.h"
#include "presets/file_handle.h"
#include "presets/registry.h"

namespace shimmerly {
namespace {

using testing::TempDir;
using testing::writeBytes;

// A record class for the loop tests: "known" reads one token into seen, "fail" returns -1,
// "odd" returns -7, "end" pops like a real class.
class Probe : public StreamRecord {
 public:
  explicit Probe(const char* name = "Probe") : className_(name) {
    registerCommand("known", [](CommandStream& stream, StreamRecord& record) {
      char token[256];
      stream.readToken(token, sizeof token);
      static_cast<Probe&>(record).seen.push_back(token);
      return 0;
    });
    registerCommand("fail", [](CommandStream&, StreamRecord&) { return -1; });
    registerCommand("odd", [](CommandStream&, StreamRecord&) { return -7; });
    registerCommand("end", [](CommandStream& stream, StreamRecord&) {
      stream.pop();
      return 0;
    });
  }
  int32_t writeBody(CommandStream& stream) override {
    for (const std::string& line : lines) {
      stream.formatLine("%s\n", line.c_str());
      stream.emitLine();
    }
    return bodyStatus;
  }
  Registry& commandRegistry() override {
    static Registry registry(Registry::kClassBuckets);
    return registry;
  }
  const char* className() const override { return className_.c_str(); }

  std::string className_;
  std::vector<std::string> lines;
  int32_t bodyStatus = 0;
  std::vector<std::string> seen;
};

// An input file with the given bytes, open for reading.
class Input {
 public:
  explicit Input(const std::string& bytes) : file_((dir_.path() / "input").string()) {
    writeBytes(dir_.path() / "input", bytes);
    EXPECT_EQ(file_.openRead(), 0);
  }
  FileHandle& file() { return file_; }

 private:
  TempDir dir_;
  FileHandle file_;
};

struct Read {
  std::vector<std::string> tokens;
  std::vector<int32_t> positions;
  bool operator==(const Read&) const = default;
};

Read readAll(const std::string& bytes, size_t chunkSize, size_t tokenSize = 256) {
  Input input(bytes);
  Probe root;
  CommandStream stream(&root, chunkSize);
  stream.setInput(&input.file());
  Read read;
  std::vector<char> token(tokenSize);
  while (stream.readToken(token.data(), token.size()) == 0) {
    read.tokens.emplace_back(token.data());
    read.positions.push_back(stream.position());
  }
  EXPECT_FALSE(stream.hasInput());
  return read;
}

class Tokens : public ::testing::TestWithParam<size_t> {};

INSTANTIATE_TEST_SUITE_P(ChunkSizes, Tokens, ::testing::Values(2, 3, 4, 7, 16, 50000));

TEST_P(Tokens, CommentsAndBlanksBeforeATokenAreSkipped) {
  EXPECT_EQ(readAll("  # a comment \"with quotes\"\n  alpha beta", GetParam()).tokens,
            std::vector<std::string>{"alpha"});  // beta has no blank behind it
  EXPECT_EQ(readAll("  # a comment\n  alpha beta ", GetParam()).tokens,
            (std::vector<std::string>{"alpha", "beta"}));
  // "#" and quotes inside a plain token are ordinary bytes.
  EXPECT_EQ(readAll("#one\r#two\r\n\t x#y z\"q ", GetParam()).tokens,
            (std::vector<std::string>{"x#y", "z\"q"}));
}

TEST_P(Tokens, QuotedTokensKeepBlanksAndUnescapeOnlyQuotes) {
  EXPECT_EQ(readAll(R"("say \"hi\"" "a\b" "" "x # y
z" "\\"" )",
                    GetParam())
                .tokens,
            (std::vector<std::string>{"say \"hi\"", "a\\b", "", "x # y\nz", "\\\""}));
  // A quote left open at the end of the input gives no token.
  EXPECT_TRUE(readAll("\"open", GetParam()).tokens.empty());
}

TEST_P(Tokens, PositionCountsEveryConsumedByte) {
  const Read read = readAll("Name x \"ab\"  # c\ny\n", GetParam());
  EXPECT_EQ(read.tokens, (std::vector<std::string>{"Name", "x", "ab", "y"}));
  EXPECT_EQ(read.positions, (std::vector<int32_t>{4, 6, 10, 18}));
}

TEST_P(Tokens, LongTokensAreCutAndTheirRestIsLost) {
  const std::string long300(300, 'q');
  const Read read = readAll(long300 + " next ", GetParam());
  EXPECT_EQ(read.tokens, (std::vector<std::string>{std::string(255, 'q'), "next"}));
  // Whatever the caller's room, a token holds at most 1,023 bytes.
  const Read wide = readAll(std::string(3000, 'w') + " ", GetParam(), 4000);
  EXPECT_EQ(wide.tokens, std::vector<std::string>{std::string(1023, 'w')});
  EXPECT_EQ(readAll("\"" + long300 + "\" ", GetParam()).tokens[0], std::string(255, 'q'));
}

TEST_P(Tokens, ZeroBytesSeparateTokensAndVanishInsideQuotes) {
  const std::string bytes("a\0b \"x\0y\" #c\0d\ne\0", 18);
  const Read read = readAll(bytes, GetParam());
  EXPECT_EQ(read.tokens, (std::vector<std::string>{"a", "b", "xy", "e"}));
}

TEST(TokensAnyChunking, SameTokensAndPositionsWhereverChunksEnd) {
  const char* pieces[] = {" ",       "\t",         "\r\n",     "#note\n", "#x", "word",
                          "\"q u\"", "\"e\\\"s\"", "\"b\\s\"", "\\",      "##", "\"",
                          "x\"y",    "\n\n",       "" /* the last piece is one NUL byte */};
  std::mt19937 random(1234);
  for (int round = 0; round < 40; ++round) {
    std::string bytes;
    const int count = 5 + static_cast<int>(random() % 60);
    for (int i = 0; i < count; ++i) {
      const size_t pick = random() % std::size(pieces);
      bytes += pick == std::size(pieces) - 1 ? std::string(1, '\0') : std::string(pieces[pick]);
    }
    const Read whole = readAll(bytes, 50000);
    for (size_t chunk : {2, 3, 5, 8, 13}) {
      ASSERT_EQ(readAll(bytes, chunk), whole) << "chunk " << chunk << " round " << round;
    }
  }
}

TEST(TypedReads, RealsSwitchesAndFloatsKeepValuesTheyCannotRead) {
  Input input("1.5 abc nan -inf 1e999 on off 2 0 x 99999999999 -2147483648 0.25 0.5 y 7 ");
  Probe root;
  CommandStream stream(&root, 5);
  stream.setInput(&input.file());
  double real = 9.0;
  EXPECT_EQ(stream.readReal(real), 0);
  EXPECT_EQ(real, 1.5);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(stream.readReal(real), -1);  // abc, nan, -inf, 1e999
    EXPECT_EQ(real, 1.5);
  }
  int32_t flag = 5;
  const int32_t expected[] = {1, 0, 2, 0};
  for (int32_t want : expected) {
    EXPECT_EQ(stream.readSwitch(flag), 0);
    EXPECT_EQ(flag, want);
  }
  EXPECT_EQ(stream.readSwitch(flag), -1);  // x
  EXPECT_EQ(stream.readSwitch(flag), -1);  // does not fit 32 bits
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(stream.readSwitch(flag), 0);
  EXPECT_EQ(flag, INT32_MIN);
  float values[3] = {-1.0f, -1.0f, -1.0f};
  EXPECT_EQ(stream.readFloats(values, 3), -1);  // 0.25, 0.5, then y
  EXPECT_EQ(values[0], 0.25f);
  EXPECT_EQ(values[1], 0.5f);
  EXPECT_EQ(values[2], -1.0f);
  EXPECT_EQ(stream.readReal(real), 0);
  EXPECT_EQ(real, 7.0);
  EXPECT_EQ(stream.readReal(real), -1);  // input ended
  EXPECT_FALSE(stream.hasInput());
}

// The bytes a stream writes for a record, with the record pushed first `depth - 1` times.
std::string written(StreamRecord& record, StreamRecord& root, int depth, int32_t* status) {
  TempDir dir;
  FileHandle out((dir.path() / "out").string());
  EXPECT_EQ(out.create(), 0);
  CommandStream stream(&root);
  for (int i = 1; i < depth; ++i) stream.push(&root);
  stream.setOutput(&out);
  *status = record.writeRecord(stream);
  EXPECT_EQ(stream.depth(), depth);
  EXPECT_FALSE(stream.outputFailed());
  out.close();
  return testing::readBytes(dir.path() / "out");
}

TEST(Writing, EveryLineIsIndentedByDepthAndFollowedByAnEmptyLine) {
  Probe root;
  Probe record("X");
  int32_t status = 1;
  EXPECT_EQ(written(record, root, 1, &status), " begin X\n\n end X\n\n");
  EXPECT_EQ(status, 0);
  record.lines = {"a 1", "b \"two\""};
  record.bodyStatus = -5;
  EXPECT_EQ(written(record, root, 2, &status),
            "  begin X\n\n   a 1\n\n   b \"two\"\n\n  end X\n\n");
  EXPECT_EQ(status, -5);
}

TEST(Writing, MissingOutputIsReportedNotIgnored) {
  Probe root;
  CommandStream stream(&root);
  stream.formatLine("x\n");
  EXPECT_EQ(stream.emitLine(), -1);
  EXPECT_TRUE(stream.outputFailed());
}

// Runs processCommand of a fresh Probe over bytes.
struct Outcome {
  int32_t status;
  std::string diagnostic;
  std::vector<std::string> seen;
  bool hasInput;
};

Outcome process(const std::string& bytes) {
  Input input(bytes);
  Probe root;
  CommandStream stream(&root, 7);
  stream.setInput(&input.file());
  const int32_t status = root.processCommand(stream);
  return {status, lastStreamError(), root.seen, stream.hasInput()};
}

std::string unknownTokens(int count) {
  std::string bytes;
  for (int i = 1; i <= count; ++i) {
    bytes += 'u';
    bytes += std::to_string(i);
    bytes += ' ';
  }
  return bytes;
}

TEST(CommandLoop, NinetyNineUnknownTokensAreSkippedThenTheCommandRuns) {
  const Outcome outcome = process(unknownTokens(99) + "known v ");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.seen, std::vector<std::string>{"v"});
  EXPECT_EQ(outcome.diagnostic,
            "Warning: Recovering from scene data error for command <<u1>> for class <<Probe>> at "
            "byte 2.");
}

TEST(CommandLoop, TheHundredthUnknownTokenEndsTheCommand) {
  const std::string bytes = unknownTokens(100) + "known v ";
  const Outcome outcome = process(bytes);
  EXPECT_EQ(outcome.status, -1);
  EXPECT_TRUE(outcome.seen.empty());
  const int32_t at = static_cast<int32_t>(unknownTokens(100).size()) - 1;
  EXPECT_EQ(outcome.diagnostic,
            "Scene error: unknown command <<u100>> for class <<Probe>> at byte " +
                std::to_string(at) + ".");
}

TEST(CommandLoop, StatusesAndDiagnostics) {
  Outcome outcome = process("**EndOfStream** known v ");
  EXPECT_EQ(outcome.status, -3);
  EXPECT_EQ(outcome.diagnostic, "");
  outcome = process("fail ");
  EXPECT_EQ(outcome.status, -1);
  EXPECT_EQ(outcome.diagnostic,
            "Error processing scene command <<fail>> for class <<Probe>> at byte 4.");
  outcome = process("odd ");
  EXPECT_EQ(outcome.status, -7);
  EXPECT_EQ(outcome.diagnostic, "");
  outcome = process("  # only a comment\n");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_FALSE(outcome.hasInput);
}

TEST(CommandLoop, ProcessTopNeedsARecord) {
  Probe root;
  CommandStream stream(&root);
  stream.pop();
  stream.pop();  // popping an empty stack changes nothing
  EXPECT_EQ(stream.depth(), 0);
  EXPECT_EQ(stream.processTop(), -1);
  EXPECT_STREQ(lastStreamError(), "Error processing command stack while loading scene.");
}

TEST(CommandLoop, DiagnosticsHoldTheLongestTextAndNeverOverrun) {
  const std::string command(255, 'c');
  Outcome outcome = process(command + " known v ");
  EXPECT_EQ(outcome.diagnostic, "Warning: Recovering from scene data error for command <<" +
                                    command + ">> for class <<Probe>> at byte 255.");
  Input input(command + " known v ");
  Probe longClass(std::string(5000, 'k').c_str());
  CommandStream stream(&longClass);
  stream.setInput(&input.file());
  EXPECT_EQ(longClass.processCommand(stream), 0);
  EXPECT_EQ(std::strlen(lastStreamError()), 1023u);
}

TEST(RegistryTable, HashTreatsBytesAsSignedAndBucketsAreNonNegative) {
  Registry registry(Registry::kClassBuckets);
  EXPECT_EQ(Registry::hash("ab"), 97u ^ (98u << 1));
  EXPECT_EQ(registry.bucketOf("ab"), 165);
  EXPECT_EQ(Registry::hash("\xff"), 0xFFFFFFFFu);  // -1
  EXPECT_EQ(registry.bucketOf("\xff"), 1);
  // Shifts wrap at 32: byte 32 is not shifted again.
  std::string spaced(33, 'a');
  uint32_t h = 0;
  for (uint32_t i = 0; i < 33; ++i) h ^= 97u << (i % 32);
  EXPECT_EQ(Registry::hash(spaced.c_str()), h);
}

int32_t handlerA(CommandStream&, StreamRecord&) {
  return 0;
}
int32_t handlerB(CommandStream&, StreamRecord&) {
  return 0;
}

TEST(RegistryTable, ReferencesGrowWithRegistrationAndReleaseFreesAtZero) {
  Registry registry(7);
  Registry::Entry* entry = registry.findOrAdd("cmd", handlerA);
  EXPECT_EQ(entry->references, 1);
  EXPECT_EQ(registry.findOrAdd("cmd", handlerB), entry);
  EXPECT_EQ(entry->handler, handlerB);
  EXPECT_EQ(registry.findOrAdd("cmd", nullptr)->handler, handlerB);  // none keeps the handler
  EXPECT_EQ(entry->references, 3);
  registry.release(entry);
  registry.release(entry);
  registry.release(entry);
  // Freed: a new lookup makes a fresh entry without a handler.
  Registry::Entry* fresh = registry.findOrAdd("cmd", nullptr);
  EXPECT_EQ(fresh->handler, nullptr);
  EXPECT_EQ(fresh->references, 1);
  registry.release(fresh);
}

TEST(RegistryTable, ReleasingALostEntryIsReportedAndIgnored) {
  Registry registry(7);
  Registry::Entry stray;
  std::strcpy(stray.name, "stray");
  stray.references = 1;
  ::testing::internal::CaptureStdout();
  registry.release(&stray);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "ASSERTION in Registry.h:  trying to unregister a lost (not in hash) name.\n");
  EXPECT_EQ(stray.references, 1);
}

TEST(RegistryTable, EntriesOfOneBucketAreChained) {
  Registry registry(1);  // every name in the same bucket
  Registry::Entry* a = registry.findOrAdd("a", handlerA);
  Registry::Entry* b = registry.findOrAdd("b", handlerB);
  EXPECT_EQ(b->next, a);  // new entries go to the head
  registry.release(a);
  EXPECT_EQ(registry.findOrAdd("b", nullptr), b);
  EXPECT_EQ(b->next, nullptr);
}

}  // namespace
}  // namespace shimmerly
