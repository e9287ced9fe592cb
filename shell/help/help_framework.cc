// File: shell/help/help_framework.cc
#include "shell/help/help_framework.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace tto::help {
namespace {

// Order of the manager's sorted lists: by text, ignoring letter case.
bool LessIgnoringCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](unsigned char x, unsigned char y) {
                                        return std::tolower(x) < std::tolower(y);
                                      });
}

bool EndsWithIgnoringCase(const std::string& text, const std::string& tail) {
  if (text.size() < tail.size()) return false;
  return std::equal(tail.begin(), tail.end(), text.end() - tail.size(),
                    [](unsigned char x, unsigned char y) {
                      return std::tolower(x) == std::tolower(y);
                    });
}

// The framework's own viewer for WinHelp (.hlp) files. It asks the installed
// WinHelp tester before every keyword, topic and context request; without a
// tester it claims .hlp files. There is no WinHelp on this platform, so what
// it accepts it cannot show.
class WinHelpViewer : public IExtendedHelpViewer {
 public:
  explicit WinHelpViewer(const HelpApplication& application) : application_(application) {}

  void SetManager(std::weak_ptr<IHelpManager> manager) { manager_ = std::move(manager); }

  std::string GetViewerName() override { return "WinHelp"; }
  int UnderstandsKeyword(const std::string& keyword) override {
    if (IWinHelpTester* tester = application_.WinHelpTester()) {
      return tester->CanShowALink(keyword, HelpFile()) ? 1 : 0;
    }
    return IsWinHelpFile(HelpFile()) ? 1 : 0;
  }
  std::vector<std::string> GetHelpStrings(const std::string& keyword) override {
    if (IWinHelpTester* tester = application_.WinHelpTester()) {
      return tester->GetHelpStrings(keyword);
    }
    return {GetViewerName() + ": " + keyword};
  }
  bool CanShowTableOfContents() override { return true; }
  void ShowTableOfContents() override {}
  void ShowHelp(const std::string&) override {}
  void NotifyID(int) override {}
  void SoftShutDown() override {}
  void ShutDown() override { manager_.reset(); }

  bool UnderstandsTopic(const std::string& topic) override {
    if (IWinHelpTester* tester = application_.WinHelpTester()) {
      return tester->CanShowTopic(topic, HelpFile());
    }
    return IsWinHelpFile(HelpFile());
  }
  void DisplayTopic(const std::string&) override {}
  bool UnderstandsContext(int context, const std::string& help_file) override {
    if (IWinHelpTester* tester = application_.WinHelpTester()) {
      return tester->CanShowContext(context, help_file);
    }
    return IsWinHelpFile(help_file);
  }
  void DisplayHelpByContext(int, const std::string&) override {}

 private:
  static bool IsWinHelpFile(const std::string& help_file) {
    return EndsWithIgnoringCase(help_file, ".hlp");
  }
  std::string HelpFile() const {
    if (auto manager = manager_.lock()) return manager->GetHelpFile();
    return application_.CurrentHelpFile();
  }

  const HelpApplication& application_;
  std::weak_ptr<IHelpManager> manager_;
};

}  // namespace

HelpManager::~HelpManager() { ShutDownViewers(); }

int HelpManager::Register(std::shared_ptr<ICustomHelpViewer> viewer) {
  const int id = next_id_++;
  viewers_.push_back({id, viewer});
  viewer->NotifyID(id);
  return id;
}

void HelpManager::Release(int viewer_id) {
  std::erase_if(viewers_, [viewer_id](const Entry& entry) { return entry.id == viewer_id; });
}

void HelpManager::AssignHelpSelector(std::shared_ptr<IHelpSelector> selector) {
  selector_ = std::move(selector);
}

void HelpManager::TakeHelpFile(const std::string& help_file) {
  if (!help_file.empty()) help_file_ = help_file;
}

// The requests below work on a copy of the viewer list, so a viewer that
// withdraws while it answers does not disturb the walk.

bool HelpManager::ShowTableOfContents(const std::string& help_file) {
  TakeHelpFile(help_file);
  const std::vector<Entry> viewers = viewers_;
  if (viewers.size() == 1) {
    if (!viewers[0].viewer->CanShowTableOfContents()) return false;
    viewers[0].viewer->ShowTableOfContents();
    return true;
  }
  std::vector<std::pair<std::string, ICustomHelpViewer*>> able;
  for (const Entry& entry : viewers) {
    if (entry.viewer->CanShowTableOfContents()) {
      able.emplace_back(entry.viewer->GetViewerName(), entry.viewer.get());
    }
  }
  if (able.empty()) return false;
  ICustomHelpViewer* chosen = able[0].second;  // registration order, before sorting
  if (able.size() > 1 && selector_ != nullptr) {
    std::stable_sort(able.begin(), able.end(), [](const auto& a, const auto& b) {
      return LessIgnoringCase(a.first, b.first);
    });
    std::vector<std::string> names;
    for (const auto& [name, viewer] : able) names.push_back(name);
    const int index = selector_->TableOfContents(names);
    if (index < 0 || index >= static_cast<int>(able.size())) return false;
    chosen = able[index].second;
  }
  chosen->ShowTableOfContents();
  return true;
}

bool HelpManager::ShowContextHelp(int context, const std::string& help_file) {
  TakeHelpFile(help_file);
  const std::vector<Entry> viewers = viewers_;
  for (const Entry& entry : viewers) {
    auto* extended = dynamic_cast<IExtendedHelpViewer*>(entry.viewer.get());
    if (extended != nullptr && extended->UnderstandsContext(context, help_file)) {
      extended->DisplayHelpByContext(context, help_file);
      return true;
    }
  }
  return false;
}

bool HelpManager::ShowKeywordHelp(const std::string& keyword, const std::string& help_file) {
  TakeHelpFile(help_file);
  const std::vector<Entry> viewers = viewers_;
  std::vector<ICustomHelpViewer*> able;
  for (const Entry& entry : viewers) {
    if (entry.viewer->UnderstandsKeyword(keyword) > 0) able.push_back(entry.viewer.get());
  }
  if (able.empty()) return false;
  if (able.size() == 1) {
    able[0]->ShowHelp(keyword);
    return true;
  }
  std::vector<std::pair<std::string, ICustomHelpViewer*>> lines;
  for (ICustomHelpViewer* viewer : able) {
    for (std::string& line : viewer->GetHelpStrings(keyword)) {
      lines.emplace_back(std::move(line), viewer);
    }
  }
  if (lines.empty()) return false;
  std::stable_sort(lines.begin(), lines.end(), [](const auto& a, const auto& b) {
    return LessIgnoringCase(a.first, b.first);
  });
  int index = 0;
  if (selector_ != nullptr) {
    std::vector<std::string> texts;
    for (const auto& [line, viewer] : lines) texts.push_back(line);
    index = selector_->SelectKeyword(texts);
    if (index < 0 || index >= static_cast<int>(lines.size())) return false;
  }
  lines[index].second->ShowHelp(lines[index].first);
  return true;
}

bool HelpManager::ShowTopicHelp(const std::string& topic, const std::string& help_file) {
  TakeHelpFile(help_file);
  const std::vector<Entry> viewers = viewers_;
  for (const Entry& entry : viewers) {
    auto* extended = dynamic_cast<IExtendedHelpViewer*>(entry.viewer.get());
    if (extended != nullptr && extended->UnderstandsTopic(topic)) {
      extended->DisplayTopic(topic);
      return true;
    }
  }
  return false;
}

void HelpManager::Quit() {
  const std::vector<Entry> viewers = viewers_;
  for (const Entry& entry : viewers) entry.viewer->SoftShutDown();
}

void HelpManager::ShutDownViewers() {
  std::vector<Entry> viewers = std::move(viewers_);
  viewers_.clear();
  selector_.reset();
  for (const Entry& entry : viewers) entry.viewer->ShutDown();
}

HelpApplication::~HelpApplication() {
  if (manager_ != nullptr) manager_->ShutDownViewers();
}

const std::string& HelpApplication::CurrentHelpFile() const {
  return form_help_file_.empty() ? help_file_ : form_help_file_;
}

HelpManager& HelpApplication::Manager() {
  if (manager_ == nullptr) {
    manager_ = std::make_shared<HelpManager>();
    // The framework's WinHelp viewer is always the first one registered.
    auto winhelp = std::make_shared<WinHelpViewer>(*this);
    manager_->Register(winhelp);
    winhelp->SetManager(manager_);
  }
  return *manager_;
}

std::shared_ptr<IHelpManager> HelpApplication::RegisterViewer(
    std::shared_ptr<ICustomHelpViewer> viewer) {
  Manager().Register(std::move(viewer));
  return manager_;
}

IHelpSystem& HelpApplication::HelpSystem() { return Manager(); }

bool HelpApplication::HelpCommand(unsigned command, uintptr_t data) {
  switch (command) {
    case HELP_CONTENTS:
      return Manager().ShowTableOfContents(CurrentHelpFile());
    case HELP_CONTEXT:
      return HelpContext(static_cast<int>(data));
    case HELP_KEY:
      return data != 0 && HelpKeyword(reinterpret_cast<const char*>(data));
    case HELP_QUIT:
      Manager().Quit();
      return true;
    default:
      return false;
  }
}

bool HelpApplication::HelpContext(int context) {
  return Manager().ShowContextHelp(context, CurrentHelpFile());
}

bool HelpApplication::HelpKeyword(const std::string& keyword) {
  return Manager().ShowKeywordHelp(keyword, CurrentHelpFile());
}

bool HelpApplication::HelpJump(const std::string& topic) {
  return Manager().ShowTopicHelp(topic, CurrentHelpFile());
}

HelpApplication& Application() {
  static HelpApplication application;
  return application;
}

}  // namespace tto::help
