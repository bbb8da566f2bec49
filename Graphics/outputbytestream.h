// Buffered byte output under the JPEG writer. The derived class owns the
// buffer and decides where full buffers go (Flush); the bit writer builds on
// the three open fields. Buffers flush lazily: a buffer that has just become
// full is written only when the next byte needs room.
#ifndef VANTORUM_OUTPUTBYTESTREAM_H
#define VANTORUM_OUTPUTBYTESTREAM_H

#include <cstdint>
#include <exception>
#include <fstream>
#include <memory>
#include <string>

namespace Vantorum
{

class OutputByteStream
{
public:
  // "Already Open", and write failures of a file stream.
  class StreamError : public std::exception
  {
  public:
    explicit StreamError(std::string text) : message(std::move(text)) {}
    const char *what() const noexcept override { return message.c_str(); }

  private:
    std::string message;
  };

  OutputByteStream() = default;
  OutputByteStream(const OutputByteStream &) = delete;
  OutputByteStream &operator=(const OutputByteStream &) = delete;
  virtual ~OutputByteStream() = default;

  void PutByte(uint8_t value)
  {
    if (current >= bufferEnd)
      Flush();
    *current++ = value;
  }

  // Big-endian. Flushes when fewer than three bytes are free (not two): the
  // flush points are part of the stream's observable behaviour.
  void PutWord(uint16_t value)
  {
    if (current + 2 >= bufferEnd)
      Flush();
    current[0] = static_cast<uint8_t>(value >> 8);
    current[1] = static_cast<uint8_t>(value);
    current += 2;
  }

  // A count of 0 or less writes nothing.
  void PutBytes(const void *data, int32_t count);

  // Starts bit output in a cleared byte at current; current does not move.
  void EnterBitMode(int32_t initialPosition)
  {
    if (current >= bufferEnd)
      Flush();
    bitPosition = initialPosition;
    *current = 0;
  }

  // Moves to a fresh cleared byte; flushes at once when it would lie past
  // the buffer, since that byte must be cleared.
  void NextByte()
  {
    ++current;
    if (current >= bufferEnd)
      Flush();
    *current = 0;
  }

  // Hands over the bytes from the buffer start up to current, then makes
  // current the buffer start and bufferEnd its end again.
  virtual void Flush() = 0;

protected:
  uint8_t *current = nullptr;    // next free byte; in bit mode the byte being assembled
  uint8_t *bufferEnd = nullptr;  // one past the last byte of the buffer
  int32_t bitPosition = -1;      // -1 in byte mode; free bits of *current in bit mode
};

// A file destination with a fixed 256 KiB buffer.
class OutputFileStream : public virtual OutputByteStream
{
public:
  OutputFileStream() = default;
  // Writes what is buffered and closes the file; never throws, so a write
  // error found here is lost: call Close to learn of it.
  ~OutputFileStream() override;

  // Throws StreamError "Already Open" on an open stream. A file that cannot
  // be created throws nothing: IsGood then reports false.
  void Open(const std::string &fileName);
  bool IsGood() const { return !file.fail(); }

  // Throws StreamError naming the file when the write fails (a full disk).
  void Flush() override;

  // Writes the rest, closes the file and throws StreamError if any write or
  // the close failed. The stream is closed afterwards either way.
  void Close();

private:
  bool WriteBuffered();

  std::ofstream file;
  bool isOpen = false;
  std::unique_ptr<uint8_t[]> buffer;  // null until Open succeeds
  uint32_t bufferSize = 0x40000;
  std::string name;  // for error messages
};

}  // namespace Vantorum

#endif
