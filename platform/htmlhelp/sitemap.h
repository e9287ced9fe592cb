// File: platform/htmlhelp/sitemap.h
//
// The sitemaps of a compiled help file: the contents (.hhc) and the index
// (.hhk). Both are HTML lists whose items are <OBJECT type="text/sitemap">
// with "Name" and "Local" parameters; a nested list holds an item's
// children. The parser is lenient, as the files come from many tools: it
// looks only at <UL>, </UL>, <OBJECT>, <PARAM> and </OBJECT> tags.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tto::htmlhelp {

struct SitemapEntry {
  std::string name;   // as written, entities decoded (bytes of the file's encoding)
  std::string local;  // the topic, relative to the help file's root; may be empty
  std::vector<SitemapEntry> children;
};

std::vector<SitemapEntry> ParseSitemap(std::string_view html);

}  // namespace tto::htmlhelp
