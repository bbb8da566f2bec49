#include "outputbytestream.h"

#include "graphicsexception.h"

#include <cerrno>
#include <cstring>

namespace Vantorum
{

void OutputByteStream::PutBytes(const void *data, int32_t count)
{
  const uint8_t *source = static_cast<const uint8_t *>(data);
  while (count > 0)
  {
    const int32_t room = static_cast<int32_t>(bufferEnd - current);
    if (count <= room)
    {
      std::memcpy(current, source, static_cast<size_t>(count));
      current += count;
      return;
    }
    if (room > 0)
      std::memcpy(current, source, static_cast<size_t>(room));
    current += room;
    Flush();
    source += room;
    count -= room;
  }
}

OutputFileStream::~OutputFileStream()
{
  if (isOpen)
  {
    WriteBuffered();
    file.close();
  }
}

void OutputFileStream::Open(const std::string &fileName)
{
  if (isOpen)
    throw StreamError("Already Open");
  file.open(fileName, std::ios::out | std::ios::binary | std::ios::trunc);
  if (file.fail())
    return;
  isOpen = true;
  name = fileName;
  buffer.reset(new uint8_t[bufferSize]);
  current = buffer.get();
  bufferEnd = buffer.get() + bufferSize;
}

bool OutputFileStream::WriteBuffered()
{
  const std::streamsize count = current - buffer.get();
  if (count > 0)
    file.write(reinterpret_cast<const char *>(buffer.get()), count);
  current = buffer.get();
  bufferEnd = buffer.get() + bufferSize;
  return !file.fail();
}

void OutputFileStream::Flush()
{
  errno = 0;
  if (!WriteBuffered())
    throw StreamError(WriteFailureText(name, errno));
}

void OutputFileStream::Close()
{
  if (!isOpen)
    return;
  errno = 0;
  if (WriteBuffered())
    file.flush();
  const bool written = !file.fail();
  const int error = errno;
  file.close();  // sets the fail state when the close itself fails
  isOpen = false;
  if (!written || file.fail())
    throw StreamError(WriteFailureText(name, written ? errno : error));
}

}  // namespace Vantorum
