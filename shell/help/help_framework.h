// File: shell/help/help_framework.h
//
// The application's help framework: the interfaces that help viewers
// implement, the help manager that viewers register with and that hands help
// requests to them, the framework's own WinHelp viewer, and the application's
// help file with its help requests (`HelpCommand`, `HelpContext`).
//
// Lifetimes are shared: the manager holds every registered viewer, and a
// viewer may hold the manager's `IHelpManager` until it withdraws (`Release`)
// or the manager shuts it down. Everything runs on the user-interface thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tto::help {

// Help commands of `HelpApplication::HelpCommand`, by their published names.
inline constexpr unsigned HELP_CONTEXT = 0x0001;   // data: the context number
inline constexpr unsigned HELP_QUIT = 0x0002;      // data: 0
inline constexpr unsigned HELP_CONTENTS = 0x0003;  // data: 0
inline constexpr unsigned HELP_KEY = 0x0101;       // data: the keyword (const char*)

// What the manager offers a registered viewer.
class IHelpManager {
 public:
  virtual ~IHelpManager() = default;
  // The window that owns help windows; this system's manager reports 0.
  virtual uintptr_t GetHandle() = 0;
  // The last non-empty help file name that a help request carried.
  virtual std::string GetHelpFile() = 0;
  // Withdraws the viewer with this ID; an unknown ID is ignored.
  virtual void Release(int viewer_id) = 0;
};

// A help viewer. Operations in the order of the framework's interface.
class ICustomHelpViewer {
 public:
  virtual ~ICustomHelpViewer() = default;
  virtual std::string GetViewerName() = 0;
  // Above 0 when the viewer can answer a keyword request.
  virtual int UnderstandsKeyword(const std::string& keyword) = 0;
  // The lines by which the viewer offers the keyword when several viewers
  // understand it; the caller owns the list.
  virtual std::vector<std::string> GetHelpStrings(const std::string& keyword) = 0;
  virtual bool CanShowTableOfContents() = 0;
  virtual void ShowTableOfContents() = 0;
  // `help_string` is the keyword, or the whole line that the selector chose.
  virtual void ShowHelp(const std::string& help_string) = 0;
  // Called by the manager during registration with the viewer's ID.
  virtual void NotifyID(int viewer_id) = 0;
  // Close whatever the viewer shows.
  virtual void SoftShutDown() = 0;
  // The manager is going away: the viewer must drop its `IHelpManager`.
  virtual void ShutDown() = 0;
};

// A viewer that also answers topic and context requests.
class IExtendedHelpViewer : public ICustomHelpViewer {
 public:
  virtual bool UnderstandsTopic(const std::string& topic) = 0;
  virtual void DisplayTopic(const std::string& topic) = 0;
  virtual bool UnderstandsContext(int context, const std::string& help_file) = 0;
  virtual void DisplayHelpByContext(int context, const std::string& help_file) = 0;
};

// Chooses among several viewers that could answer a request.
class IHelpSelector {
 public:
  virtual ~IHelpSelector() = default;
  // `help_strings`: the sorted lines of all viewers; result: index of the chosen line.
  virtual int SelectKeyword(const std::vector<std::string>& help_strings) = 0;
  // `viewer_names`: the sorted names of the viewers that can show contents;
  // result: index of the chosen name, or -1 for none.
  virtual int TableOfContents(const std::vector<std::string>& viewer_names) = 0;
};

class IHelpSystem {
 public:
  virtual ~IHelpSystem() = default;
  // Installs the selector asked when several viewers could answer (null: none).
  virtual void AssignHelpSelector(std::shared_ptr<IHelpSelector> selector) = 0;
};

// Consulted by the framework's WinHelp viewer before each keyword, topic and
// context request.
class IWinHelpTester {
 public:
  virtual ~IWinHelpTester() = default;
  virtual bool CanShowALink(const std::string& alink, const std::string& help_file) = 0;
  virtual bool CanShowTopic(const std::string& topic, const std::string& help_file) = 0;
  virtual bool CanShowContext(int context, const std::string& help_file) = 0;
  virtual std::vector<std::string> GetHelpStrings(const std::string& alink) = 0;
  virtual std::string GetHelpPath() = 0;
  virtual std::string GetDefaultHelpFile() = 0;
};

// The help manager: keeps the registered viewers in their order of
// registration and dispatches help requests to them.
class HelpManager : public IHelpManager, public IHelpSystem {
 public:
  HelpManager() = default;
  HelpManager(const HelpManager&) = delete;
  HelpManager& operator=(const HelpManager&) = delete;
  ~HelpManager() override;

  // Adds `viewer`, gives it the next ID through `NotifyID`, returns the ID.
  int Register(std::shared_ptr<ICustomHelpViewer> viewer);

  uintptr_t GetHandle() override { return 0; }
  std::string GetHelpFile() override { return help_file_; }
  void Release(int viewer_id) override;
  void AssignHelpSelector(std::shared_ptr<IHelpSelector> selector) override;

  // Help requests. Each carries the help file of the request, which becomes
  // the current help file when it is not empty. Results: whether a viewer was
  // given the request.
  //
  // Contents: one viewer shows its contents when it can. Several: the names
  // of those that can are sorted; one name is that viewer, more go to the
  // selector (without a selector, the first viewer in registration order
  // that can show contents).
  bool ShowTableOfContents(const std::string& help_file);
  // Context: the first extended viewer, in registration order, that
  // understands the context gets it.
  bool ShowContextHelp(int context, const std::string& help_file);
  // Keyword: one viewer that understands it gets the keyword; several offer
  // their help strings, sorted, and the one that gave the selector's line
  // (without a selector, the first line) gets that whole line.
  bool ShowKeywordHelp(const std::string& keyword, const std::string& help_file);
  // Topic: the first extended viewer that understands the topic gets it.
  bool ShowTopicHelp(const std::string& topic, const std::string& help_file);
  // Quit: every viewer's `SoftShutDown`.
  void Quit();

  // Tells every viewer to `ShutDown` and forgets the viewers and the
  // selector; called when the application ends.
  void ShutDownViewers();

 private:
  struct Entry {
    int id;
    std::shared_ptr<ICustomHelpViewer> viewer;
  };
  void TakeHelpFile(const std::string& help_file);

  std::vector<Entry> viewers_;
  std::shared_ptr<IHelpSelector> selector_;
  std::string help_file_;
  int next_id_ = 1;
};

// The help side of the application object: its help file, the WinHelp
// tester slot, the help manager (created on first registration, with the
// framework's WinHelp viewer registered first) and the help requests.
class HelpApplication {
 public:
  HelpApplication() = default;
  HelpApplication(const HelpApplication&) = delete;
  HelpApplication& operator=(const HelpApplication&) = delete;
  // Shuts the manager's viewers down.
  ~HelpApplication();

  void SetHelpFile(std::string help_file) { help_file_ = std::move(help_file); }
  const std::string& HelpFile() const { return help_file_; }
  // The active window's own help file; empty when it has none.
  void SetActiveFormHelpFile(std::string help_file) { form_help_file_ = std::move(help_file); }
  // The active window's help file when it has one, else the application's.
  const std::string& CurrentHelpFile() const;

  // Registers `viewer` with the help manager, creating the manager when there
  // is none yet; the manager calls `NotifyID` during it. Returns the manager.
  std::shared_ptr<IHelpManager> RegisterViewer(std::shared_ptr<ICustomHelpViewer> viewer);
  // The manager's selector hook (creates the manager like `RegisterViewer`).
  IHelpSystem& HelpSystem();

  void SetWinHelpTester(std::shared_ptr<IWinHelpTester> tester) { tester_ = std::move(tester); }
  IWinHelpTester* WinHelpTester() const { return tester_.get(); }

  // HELP_CONTENTS, HELP_CONTEXT (data: number), HELP_KEY (data: const char*)
  // and HELP_QUIT with the current help file; other commands are refused.
  // Result: whether a viewer was given the request.
  bool HelpCommand(unsigned command, uintptr_t data);
  bool HelpContext(int context);
  bool HelpKeyword(const std::string& keyword);
  bool HelpJump(const std::string& topic);

 private:
  HelpManager& Manager();

  std::string help_file_;
  std::string form_help_file_;
  std::shared_ptr<IWinHelpTester> tester_;
  std::shared_ptr<HelpManager> manager_;
};

// The process's application object.
HelpApplication& Application();

}  // namespace tto::help
