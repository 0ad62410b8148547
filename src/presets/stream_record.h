// The base of every record that the command stream writes and reads, and the handler type of
// the commands a record class registers. Records write their own lines (writeBody) and are read
// back command by command through their class's Registry.
#pragma once

#include <cstdint>

namespace shimmerly {

class CommandStream;
class Registry;
class StreamRecord;

// Carries out one command for a record: 0 done, -1 error, other negative values pass through.
using CommandHandler = int32_t (*)(CommandStream& stream, StreamRecord& record);

class StreamRecord {
 public:
  virtual ~StreamRecord() = default;

  // Writes the record's own lines through the stream; 0 or a negative status.
  virtual int32_t writeBody(CommandStream& stream) = 0;
  // The Registry of the record's class, shared by all its records.
  virtual Registry& commandRegistry() = 0;
  // The class name, a text without blanks.
  virtual const char* className() const = 0;

  // Registers (or re-registers) a command of this record's class. Always 0.
  int32_t registerCommand(const char* name, CommandHandler handler);
  // Writes the record framed by its begin and end lines; the status of writeBody.
  int32_t writeRecord(CommandStream& stream);
  // Reads and carries out one command for this record.
  int32_t processCommand(CommandStream& stream);
};

}  // namespace shimmerly
