// File: platform/htmlhelp/chm_file.h
//
// Read access to a compiled HTML help file (.chm) through chmlib: its
// objects (topic pages, images, the contents and index sitemaps), the facts
// of its #SYSTEM table (title, default topic, contents and index file) and
// its context map (#IVB with #STRINGS). Object paths are absolute inside the
// file, such as "/principal.htm".
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct chmFile;

namespace tto::htmlhelp {

class ChmFile {
 public:
  // The file at `path` (bytes as the file system takes them), or null when it
  // cannot be opened as a compiled help file.
  static std::unique_ptr<ChmFile> Open(const std::string& path);
  ChmFile(const ChmFile&) = delete;
  ChmFile& operator=(const ChmFile&) = delete;
  ~ChmFile();

  // The object's bytes, or none when the file does not hold it.
  std::optional<std::string> Read(std::string_view path) const;
  // The path of the object that `name` names, or empty. `name` may lack the
  // leading "/" or use "\".
  std::string Find(std::string_view name) const;

  const std::string& Title() const { return title_; }
  // Paths of the default topic, the contents (.hhc) and the index (.hhk);
  // empty when the file has none.
  const std::string& DefaultTopic() const { return default_topic_; }
  const std::string& ContentsFile() const { return contents_file_; }
  const std::string& IndexFile() const { return index_file_; }
  // The path of the topic of help context `context`, or empty when the
  // context map lacks the number or its topic.
  std::string TopicForContext(uint32_t context) const;

 private:
  explicit ChmFile(chmFile* handle) : handle_(handle) {}
  void ReadSystem();
  // Like Find, but `name` may be a full path on the machine that built the
  // file, as some compilers store in the context map: the longest tail of
  // it that the file holds is taken.
  std::string FindByTail(std::string_view name) const;
  std::string FindByExtension(std::string_view extension) const;

  chmFile* handle_;
  std::string title_;
  std::string default_topic_;
  std::string contents_file_;
  std::string index_file_;
};

}  // namespace tto::htmlhelp
