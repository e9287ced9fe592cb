// File: platform/htmlhelp/sitemap.cc
#include "platform/htmlhelp/sitemap.h"

#include <cctype>
#include <cstdlib>
#include <map>

namespace tto::htmlhelp {
namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

void AppendUtf8(std::string& out, unsigned long code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x110000) {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Decodes the named entities a sitemap uses and numeric ones (to UTF-8);
// anything else is kept as written.
std::string DecodeEntities(std::string_view text) {
  static const std::map<std::string, char> kNamed = {
      {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::size_t semicolon = text[i] == '&' ? text.find(';', i) : std::string_view::npos;
    if (semicolon == std::string_view::npos || semicolon - i > 10) {
      out += text[i];
      continue;
    }
    const std::string entity = Lower(text.substr(i + 1, semicolon - i - 1));
    if (auto named = kNamed.find(entity); named != kNamed.end()) {
      out += named->second;
    } else if (entity.size() > 1 && entity[0] == '#') {
      const bool hex = entity[1] == 'x';
      char* end = nullptr;
      const unsigned long code = std::strtoul(entity.c_str() + (hex ? 2 : 1), &end, hex ? 16 : 10);
      if (*end != '\0' || code == 0) {
        out += text[i];
        continue;
      }
      AppendUtf8(out, code);
    } else {
      out += text[i];
      continue;
    }
    i = semicolon;
  }
  return out;
}

struct Tag {
  std::string name;  // lower case, with a leading "/" for an end tag
  std::map<std::string, std::string> attributes;  // names in lower case
};

// Reads the tag that starts at `html[at]` ('<'); moves `at` past its '>'.
Tag ReadTag(std::string_view html, std::size_t& at) {
  Tag tag;
  std::size_t i = at + 1;
  auto at_end = [&] { return i >= html.size() || html[i] == '>'; };
  auto skip_space = [&] {
    while (i < html.size() && std::isspace(static_cast<unsigned char>(html[i]))) ++i;
  };
  auto read_word = [&] {
    const std::size_t start = i;
    while (i < html.size() && !std::isspace(static_cast<unsigned char>(html[i])) &&
           html[i] != '>' && html[i] != '=' && html[i] != '/') {
      ++i;
    }
    if (i == start && i < html.size() && html[i] == '/') ++i;  // the "/" of an end tag
    return Lower(html.substr(start, i - start));
  };
  tag.name = read_word();
  if (tag.name == "/") tag.name += read_word();
  while (true) {
    skip_space();
    if (at_end()) break;
    if (html[i] == '/') {
      ++i;
      continue;
    }
    std::string name = read_word();
    skip_space();
    std::string value;
    if (i < html.size() && html[i] == '=') {
      ++i;
      skip_space();
      if (i < html.size() && (html[i] == '"' || html[i] == '\'')) {
        const char quote = html[i++];
        const std::size_t close = html.find(quote, i);
        const std::size_t stop = close == std::string_view::npos ? html.size() : close;
        value = html.substr(i, stop - i);
        i = stop == html.size() ? stop : stop + 1;
      } else {
        const std::size_t start = i;
        while (i < html.size() && !std::isspace(static_cast<unsigned char>(html[i])) &&
               html[i] != '>') {
          ++i;
        }
        value = html.substr(start, i - start);
      }
    }
    if (name.empty()) {
      ++i;  // a stray character
      continue;
    }
    tag.attributes.emplace(std::move(name), DecodeEntities(value));
  }
  at = i < html.size() ? i + 1 : html.size();
  return tag;
}

}  // namespace

std::vector<SitemapEntry> ParseSitemap(std::string_view html) {
  std::vector<SitemapEntry> root;
  // The lists that new entries go into; the innermost last. The pointers
  // stay valid: only the innermost list grows.
  std::vector<std::vector<SitemapEntry>*> levels = {&root};
  bool in_entry = false;
  SitemapEntry entry;
  for (std::size_t at = html.find('<'); at != std::string_view::npos; at = html.find('<', at)) {
    if (html.substr(at, 4) == "<!--") {
      const std::size_t close = html.find("-->", at + 4);
      at = close == std::string_view::npos ? html.size() : close + 3;
      continue;
    }
    const Tag tag = ReadTag(html, at);
    if (tag.name == "ul") {
      std::vector<SitemapEntry>* list = levels.back();
      levels.push_back(list->empty() ? list : &list->back().children);
    } else if (tag.name == "/ul") {
      if (levels.size() > 1) levels.pop_back();
    } else if (tag.name == "object") {
      auto type = tag.attributes.find("type");
      in_entry = type != tag.attributes.end() && Lower(type->second) == "text/sitemap";
      entry = {};
    } else if (tag.name == "param" && in_entry) {
      auto name = tag.attributes.find("name");
      auto value = tag.attributes.find("value");
      if (name == tag.attributes.end() || value == tag.attributes.end()) continue;
      const std::string key = Lower(name->second);
      // An index entry may name several topics; the first one is kept.
      if (key == "name" && entry.name.empty()) entry.name = value->second;
      if (key == "local" && entry.local.empty()) entry.local = value->second;
    } else if (tag.name == "/object" && in_entry) {
      levels.back()->push_back(std::move(entry));
      entry = {};
      in_entry = false;
    }
  }
  return root;
}

}  // namespace tto::htmlhelp
