// File: platform/htmlhelp/chm_file.cc
#include "platform/htmlhelp/chm_file.h"

#include <chm_lib.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

namespace tto::htmlhelp {
namespace {

// Objects larger than this are taken as damage, not read.
constexpr LONGUINT64 kMaxObjectSize = 256u << 20;

uint32_t LittleEndian32(const std::string& bytes, std::size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

uint16_t LittleEndian16(const std::string& bytes, std::size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(bytes[at]) |
                               (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

// The text up to the first NUL.
std::string CString(std::string_view bytes) { return std::string(bytes.substr(0, bytes.find('\0'))); }

bool EndsWithIgnoringCase(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() &&
         std::equal(tail.begin(), tail.end(), text.end() - tail.size(),
                    [](unsigned char a, unsigned char b) { return std::tolower(a) == std::tolower(b); });
}

}  // namespace

std::unique_ptr<ChmFile> ChmFile::Open(const std::string& path) {
  chmFile* handle = chm_open(path.c_str());
  if (handle == nullptr) return nullptr;
  std::unique_ptr<ChmFile> file(new ChmFile(handle));
  file->ReadSystem();
  return file;
}

ChmFile::~ChmFile() { chm_close(handle_); }

std::optional<std::string> ChmFile::Read(std::string_view path) const {
  chmUnitInfo info;
  const std::string object(path);
  if (chm_resolve_object(handle_, object.c_str(), &info) != CHM_RESOLVE_SUCCESS) return std::nullopt;
  if (info.length > kMaxObjectSize) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(info.length), '\0');
  const LONGINT64 got = chm_retrieve_object(
      handle_, &info, reinterpret_cast<unsigned char*>(bytes.data()), 0, info.length);
  if (got < 0 || static_cast<LONGUINT64>(got) != info.length) return std::nullopt;
  return bytes;
}

namespace {

std::string Normalised(std::string_view name) {
  std::string path(name);
  std::replace(path.begin(), path.end(), '\\', '/');
  if (!path.empty() && path.front() != '/') path.insert(path.begin(), '/');
  return path;
}

}  // namespace

std::string ChmFile::Find(std::string_view name) const {
  const std::string path = Normalised(name);
  chmUnitInfo info;
  if (path.size() < 2 || chm_resolve_object(handle_, path.c_str(), &info) != CHM_RESOLVE_SUCCESS) {
    return {};
  }
  return path;
}

std::string ChmFile::FindByTail(std::string_view name) const {
  const std::string path = Normalised(name);
  // "/a/b/c.htm", then "/b/c.htm", then "/c.htm".
  for (std::size_t at = 0; at != std::string::npos; at = path.find('/', at + 1)) {
    if (std::string found = Find(std::string_view(path).substr(at)); !found.empty()) return found;
  }
  return {};
}

std::string ChmFile::TopicForContext(uint32_t context) const {
  // #IVB: the byte count of the pairs that follow, then pairs of (context
  // number, offset of the topic's name in #STRINGS).
  const std::optional<std::string> map = Read("/#IVB");
  const std::optional<std::string> strings = Read("/#STRINGS");
  if (!map || !strings || map->size() < 4) return {};
  const std::size_t end = std::min<std::size_t>(map->size(), 4 + LittleEndian32(*map, 0));
  for (std::size_t at = 4; at + 8 <= end; at += 8) {
    if (LittleEndian32(*map, at) != context) continue;
    const uint32_t offset = LittleEndian32(*map, at + 4);
    if (offset >= strings->size()) return {};
    return FindByTail(CString(std::string_view(*strings).substr(offset)));
  }
  return {};
}

void ChmFile::ReadSystem() {
  // #SYSTEM: a version word, then records of (code, length, data); strings
  // in the data end with NUL.
  if (const std::optional<std::string> system = Read("/#SYSTEM")) {
    for (std::size_t at = 4; at + 4 <= system->size();) {
      const uint16_t code = LittleEndian16(*system, at);
      const std::size_t length = LittleEndian16(*system, at + 2);
      at += 4;
      if (at + length > system->size()) break;
      const std::string text = CString(std::string_view(*system).substr(at, length));
      switch (code) {
        case 0: contents_file_ = Find(text); break;
        case 1: index_file_ = Find(text); break;
        case 2: default_topic_ = Find(text); break;
        case 3: title_ = text; break;
        default: break;
      }
      at += length;
    }
  }
  if (contents_file_.empty()) contents_file_ = FindByExtension(".hhc");
  if (index_file_.empty()) index_file_ = FindByExtension(".hhk");
  for (const char* name : {"/index.htm", "/index.html", "/default.htm", "/default.html"}) {
    if (!default_topic_.empty()) break;
    default_topic_ = Find(name);
  }
}

std::string ChmFile::FindByExtension(std::string_view extension) const {
  struct Search {
    std::string_view extension;
    std::string found;
  } search{extension, {}};
  chm_enumerate(
      handle_, CHM_ENUMERATE_NORMAL | CHM_ENUMERATE_FILES,
      [](chmFile*, chmUnitInfo* info, void* context) -> int {
        auto* s = static_cast<Search*>(context);
        if (!EndsWithIgnoringCase(info->path, s->extension)) return CHM_ENUMERATOR_CONTINUE;
        s->found = info->path;
        return CHM_ENUMERATOR_SUCCESS;
      },
      &search);
  return search.found;
}

}  // namespace tto::htmlhelp
