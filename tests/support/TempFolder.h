// A fresh temporary folder for one test, removed with the object together
// with all it holds, read-only files too.
#pragma once
#include <string>

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder in the platform's form, no trailing delimiter.
  const std::string& Path() const { return path_; }
  // A name inside the folder, joined with the native delimiter.
  std::string operator/(const std::string& name) const;
  // Writes `content` to Path()/relative, making the folders on the way.
  std::string Write(const std::string& relative, const std::string& content) const;
  std::string MakeFolder(const std::string& relative) const;
  std::string Read(const std::string& relative) const;  // empty when missing

 private:
  std::string path_;
};
