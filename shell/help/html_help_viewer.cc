// File: shell/help/html_help_viewer.cc
#include "shell/help/html_help_viewer.h"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <utility>

#include "shell/program_files.h"

namespace tto::help {
namespace {

TVelHtmlHelpViewer* g_viewer = nullptr;

bool IsTrimmed(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string Trim(std::string text) {
  const auto first = std::find_if_not(text.begin(), text.end(), IsTrimmed);
  const auto last = std::find_if_not(text.rbegin(), text.rend(), IsTrimmed).base();
  return first < last ? std::string(first, last) : std::string();
}

std::string ToLower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && ToLower(a) == ToLower(b);
}

// A name has a folder part when it holds a folder separator or a drive colon.
// Both Windows' "\" and this platform's "/" count as separators.
bool HasFolderPart(const std::string& name) {
  return name.find_first_of("\\/:") != std::string::npos;
}

// The extension of a file name: from the last "." that comes after every
// separator, or empty.
std::string ExtensionOf(const std::string& name) {
  const std::size_t at = name.find_last_of(".\\/:");
  if (at == std::string::npos || name[at] != '.') return {};
  return name.substr(at);
}

}  // namespace

HtmlHelpEnvironment HtmlHelpEnvironment::ForThisProgram() {
  HtmlHelpEnvironment environment;
  environment.program_folder = ProgramFilesFolder();
  // Without the folder nothing is loaded: a bare name would make
  // the loader search the library path instead.
  if (!environment.program_folder.empty()) {
    environment.module_path = environment.program_folder + kHtmlHelpModuleName;
  }
  return environment;
}

TVelHtmlHelpViewer::TVelHtmlHelpViewer(HelpApplication& application,
                                       HtmlHelpEnvironment environment)
    : application_(application), program_folder_(std::move(environment.program_folder)) {
  if (environment.entry_point != nullptr) {
    html_help_ = environment.entry_point;
  } else if (!environment.module_path.empty()) {
    // The module runs Qt code; keeping it mapped after the last dlclose means
    // no object it made can outlive its code.
    html_help_library_ =
        dlopen(environment.module_path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (html_help_library_ != nullptr) {
      html_help_ =
          reinterpret_cast<HtmlHelpAFunction>(dlsym(html_help_library_, kHtmlHelpEntryName));
    }
  }
  g_viewer = this;
}

TVelHtmlHelpViewer::~TVelHtmlHelpViewer() {
  if (g_viewer == this) g_viewer = nullptr;
  html_help_ = nullptr;
  if (html_help_library_ != nullptr) dlclose(html_help_library_);
}

int TVelHtmlHelpViewer::SelectKeyword(const std::vector<std::string>& help_strings) {
  for (std::size_t i = 0; i < help_strings.size(); ++i) {
    const std::string& entry = help_strings[i];
    if (entry.substr(0, entry.find(':')) == viewer_name_) return static_cast<int>(i);
  }
  return 0;
}

int TVelHtmlHelpViewer::TableOfContents(const std::vector<std::string>& viewer_names) {
  for (std::size_t i = 0; i < viewer_names.size(); ++i) {
    if (EqualIgnoringCase(viewer_names[i], viewer_name_)) return static_cast<int>(i);
  }
  return -1;
}

int TVelHtmlHelpViewer::UnderstandsKeyword(const std::string&) {
  return IsChmFile(ResolveHelpFile()) ? 1 : 0;
}

std::vector<std::string> TVelHtmlHelpViewer::GetHelpStrings(const std::string& keyword) {
  return {viewer_name_ + ": " + keyword};
}

void TVelHtmlHelpViewer::ShowTableOfContents() {
  const std::string help_file = ResolveHelpFile();
  if (IsChmFile(help_file)) CallHtmlHelp(help_file, HH_DISPLAY_TOC, 0);
}

void TVelHtmlHelpViewer::ShowHelp(const std::string& help_string) {
  const std::string help_file = ResolveHelpFile();
  if (!IsChmFile(help_file)) return;
  const std::size_t colon = help_string.find(':');
  const std::string keyword =
      Trim(colon == std::string::npos ? help_string : help_string.substr(colon + 1));
  CallHtmlHelp(help_file, HH_DISPLAY_INDEX, reinterpret_cast<uintptr_t>(keyword.c_str()));
}

void TVelHtmlHelpViewer::SoftShutDown() { CallHtmlHelp({}, HH_CLOSE_ALL, 0); }

void TVelHtmlHelpViewer::ShutDown() {
  SoftShutDown();
  help_manager_.reset();
}

bool TVelHtmlHelpViewer::UnderstandsTopic(const std::string&) {
  return IsChmFile(ResolveHelpFile());
}

void TVelHtmlHelpViewer::DisplayTopic(const std::string& topic) {
  const std::string help_file = ResolveHelpFile();
  if (!IsChmFile(help_file)) return;
  std::string shown = topic;
  const std::string extension = ToLower(ExtensionOf(topic));
  if (extension != ".htm" && extension != ".html") shown += default_topic_extension_;
  CallHtmlHelp(help_file + "::/" + shown, HH_DISPLAY_TOPIC, 0);
}

bool TVelHtmlHelpViewer::UnderstandsContext(int, const std::string& help_file) {
  return IsChmFile(help_file);
}

void TVelHtmlHelpViewer::DisplayHelpByContext(int context, const std::string&) {
  const std::string help_file = ResolveHelpFile();
  if (IsChmFile(help_file)) {
    CallHtmlHelp(help_file, HH_HELP_CONTEXT, static_cast<uintptr_t>(context));
  }
}

std::string TVelHtmlHelpViewer::ResolveHelpFile() {
  std::string help_file;
  if (help_manager_ != nullptr) help_file = help_manager_->GetHelpFile();
  if (help_file.empty()) help_file = application_.CurrentHelpFile();
  if (!help_file.empty() && !HasFolderPart(help_file)) help_file = program_folder_ + help_file;
  return help_file;
}

bool TVelHtmlHelpViewer::IsChmFile(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  return dot != std::string::npos && EqualIgnoringCase(name.substr(dot), ".chm");
}

void TVelHtmlHelpViewer::CallHtmlHelp(const std::string& file, unsigned command,
                                      uintptr_t data) {
  if (html_help_ == nullptr) return;
  if (command == HH_CLOSE_ALL) {
    html_help_(0, nullptr, command, data);
    return;
  }
  const uintptr_t window = help_manager_ != nullptr ? help_manager_->GetHandle() : 0;
  html_help_(window, file.c_str(), command, data);
}

void TVelHtmlHelpViewer::Withdraw() {
  if (help_manager_ == nullptr) return;
  help_manager_->Release(viewer_id_);
  help_manager_.reset();
}

TVelHtmlHelpViewer* HtmlHelpViewer() { return g_viewer; }

void StartHtmlHelp(HelpApplication& application, HtmlHelpEnvironment environment) {
  auto viewer = std::make_shared<TVelHtmlHelpViewer>(application, std::move(environment));
  viewer->SetHelpManager(application.RegisterViewer(viewer));
  application.HelpSystem().AssignHelpSelector(viewer);
  application.SetWinHelpTester(std::make_shared<TVelWinHelpTester>());
}

void StopHtmlHelp() {
  if (g_viewer != nullptr) g_viewer->Withdraw();
}

}  // namespace tto::help
