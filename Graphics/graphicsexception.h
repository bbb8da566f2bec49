// The library's exception family. Every failure is thrown by value with a
// fixed English message; a stop asked for by the progress callback is the
// empty GraphicsAbort, so callers tell cancel from failure by type.
#ifndef VANTORUM_GRAPHICSEXCEPTION_H
#define VANTORUM_GRAPHICSEXCEPTION_H

#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>

namespace Vantorum
{

// Base of the two encoder errors (BmpEncoder::BmpError, JpegEncoder::JpegError).
class GraphicsException : public std::exception
{
public:
  explicit GraphicsException(std::string text) : message(std::move(text)) {}
  const char *what() const noexcept override { return message.c_str(); }

private:
  std::string message;
};

// The text of a failed file write, for the streams and the BMP writer alike.
inline std::string WriteFailureText(const std::string &fileName, int error)
{
  return "Cannot write to file " + fileName + ": " + (error != 0 ? std::strerror(error) : "write failed");
}

// Thrown by ReportProgress when the callback sets its cancel flag.
class GraphicsAbort
{
};

}  // namespace Vantorum

// Parameter assertions: "Assertion Failure (Bad Parameter): " followed by the
// failed condition as written, a blank and the source path.
class AssertionFailure : public std::logic_error
{
public:
  explicit AssertionFailure(const std::string &message) : std::logic_error(message) {}
};

#endif
