#include "logformat/byte_source.h"

#include <cerrno>

namespace {

size_t ReadFromFile(void* handle, char* buffer, size_t capacity, int& error) {
  FILE* in = static_cast<FILE*>(handle);
  size_t got = fread(buffer, 1, capacity, in);
  if (got == 0 && ferror(in)) error = errno != 0 ? errno : EIO;
  return got;
}

}  // namespace

ByteSource FileByteSource(FILE* in, std::string_view name) {
  ByteSource source;
  source.read = ReadFromFile;
  source.handle = in;
  source.name.assign(name);
  return source;
}
