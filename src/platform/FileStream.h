// An open file, closed with the object. Reading shares the file fully with
// other programs; appending lets them read it but not write it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Files.h"

namespace platform {

class FileStream {
 public:
  FileStream() = default;
  ~FileStream();
  FileStream(FileStream&& other) noexcept;
  FileStream& operator=(FileStream&& other) noexcept;
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;

  // Regular files only; never blocks on a pipe or device. With `stamp`, also
  // the size and last-write time of the file just opened (as Stamp).
  bool OpenRead(const std::string& path, FileStamp* stamp = nullptr);
  // Creates the file when missing; writes go to its end.
  bool OpenAppend(const std::string& path);
  // A new file of its own in `folder`, for reading and writing, that goes
  // with its handle: nothing of it is left behind, not even after a crash
  // where the system allows.
  bool OpenTemporary(const std::string& folder);
  void Close();

  bool IsOpen() const { return handle_ != kNone; }
  // The bytes read, 0 at the end, -1 on error.
  long Read(void* buffer, std::size_t length);
  bool Write(const void* data, std::size_t length);
  bool Seek(std::int64_t offset);  // from the start
  // Size and last-write time of the open file; false on failure.
  bool Stamp(FileStamp& stamp) const;
  // False once the open file has lost its name, deleted by another program
  // (where the system lets an open file be deleted).
  bool StillNamed() const;
  // The platform's descriptor or HANDLE, for zero-copy sends.
  std::intptr_t NativeHandle() const { return handle_; }

  // Creates an empty file (truncating an existing one); true on success.
  static bool CreateEmpty(const std::string& path);

 private:
  static constexpr std::intptr_t kNone = -1;  // also Windows' INVALID_HANDLE_VALUE
  enum class Access { Read, Append, Create, Temporary };

  // The calls into the system, one file per platform.
  // kNone on failure; `stamp` is filled, when given, for Access::Read.
  // Access::Temporary takes the folder as `path`.
  static std::intptr_t OpenNative(const std::string& path, Access access,
                                  FileStamp* stamp = nullptr);
  static void CloseNative(std::intptr_t handle);
  long WriteSome(const char* data, std::size_t length);  // the bytes written, -1 on error

  std::intptr_t handle_ = kNone;
};

}  // namespace platform
