// File: shell/help/html_help_viewer.h
//
// The HTML help viewer: answers every help request of the application whose
// help file is a compiled HTML help file (.chm) by calling the HTML Help
// module (platform/htmlhelp), and the WinHelp tester that makes the
// framework's WinHelp viewer decline every request, so that this viewer
// answers them all.
//
// The module is loaded by name from the program's files when the viewer is
// created. Without it every display operation does nothing and reports
// nothing; the viewer still claims .chm files, so no other viewer is asked.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/htmlhelp/htmlhelp_api.h"
#include "shell/help/help_framework.h"

namespace tto::help {

// Where the viewer finds the program.s files and the HTML Help entry point.
struct HtmlHelpEnvironment {
  // Folder of the program's files (ProgramFilesFolder), with its trailing
  // "/": a help file named without a folder is taken from there.
  std::string program_folder;
  // When set, used as the entry point and nothing is loaded (tests).
  HtmlHelpAFunction entry_point = nullptr;
  // Otherwise the module loaded: program_folder + kHtmlHelpModuleName.
  std::string module_path;

  // The running program: the folder of its files, the module in it.
  static HtmlHelpEnvironment ForThisProgram();
};

// Operations in the order of the framework's interfaces: IHelpSelector, then
// ICustomHelpViewer, then those IExtendedHelpViewer adds.
class TVelHtmlHelpViewer : public IHelpSelector, public IExtendedHelpViewer {
 public:
  // Loads the module (unless the environment brings an entry point) and looks
  // up its entry point. `application` must outlive the viewer.
  TVelHtmlHelpViewer(HelpApplication& application, HtmlHelpEnvironment environment);
  TVelHtmlHelpViewer(const TVelHtmlHelpViewer&) = delete;
  TVelHtmlHelpViewer& operator=(const TVelHtmlHelpViewer&) = delete;
  // Clears the process's viewer, forgets the entry point, unloads the module.
  ~TVelHtmlHelpViewer() override;

  // IHelpSelector.
  // Index of the first help string whose text before its first ":" (all of
  // it without one) is exactly the viewer name; 0 when none is.
  int SelectKeyword(const std::vector<std::string>& help_strings) override;
  // Index of the entry equal to the viewer name, ignoring letter case; -1 without one.
  int TableOfContents(const std::vector<std::string>& viewer_names) override;

  // ICustomHelpViewer.
  std::string GetViewerName() override { return viewer_name_; }
  // 1 when the help file is a CHM file, else 0; the keyword is not looked at.
  int UnderstandsKeyword(const std::string& keyword) override;
  // One line, "VelHtmlHelp: <keyword>".
  std::vector<std::string> GetHelpStrings(const std::string& keyword) override;
  bool CanShowTableOfContents() override { return true; }
  // HH_DISPLAY_TOC for a CHM help file.
  void ShowTableOfContents() override;
  // HH_DISPLAY_INDEX for a CHM help file with the keyword: the help string
  // after its first ":" (all of it without one), trimmed.
  void ShowHelp(const std::string& help_string) override;
  void NotifyID(int viewer_id) override { viewer_id_ = viewer_id; }
  // HH_CLOSE_ALL.
  void SoftShutDown() override;
  // SoftShutDown, then drops the help manager without telling it.
  void ShutDown() override;

  // IExtendedHelpViewer.
  bool UnderstandsTopic(const std::string& topic) override;
  // HH_DISPLAY_TOPIC for "<help file>::/<topic>" with ".htm" appended to a
  // topic whose extension is neither .htm nor .html.
  void DisplayTopic(const std::string& topic) override;
  // Whether the given help file name (not the resolved one) is a CHM file.
  bool UnderstandsContext(int context, const std::string& help_file) override;
  // HH_HELP_CONTEXT with the number, for the resolved help file when it is a CHM file.
  void DisplayHelpByContext(int context, const std::string& help_file) override;

  // The help file of every display: the manager's current help file, else
  // the application's; a non-empty name without a folder part gets the
  // folder of the program's files in front.
  std::string ResolveHelpFile();
  // Whether the name from its last "." on is ".chm", ignoring letter case.
  static bool IsChmFile(const std::string& name);
  // Sends one call to the module; nothing without an entry point.
  void CallHtmlHelp(const std::string& file, unsigned command, uintptr_t data);

  // Keeps the manager handed back by registration.
  void SetHelpManager(std::shared_ptr<IHelpManager> manager) { help_manager_ = std::move(manager); }
  // Withdraws the registration and drops the manager.
  void Withdraw();
  int ViewerID() const { return viewer_id_; }
  bool HasEntryPoint() const { return html_help_ != nullptr; }

 private:
  // The last two give the application's current help file and the folder
  // put in front of a bare help file name.
  int viewer_id_ = 0;
  std::string viewer_name_ = "VelHtmlHelp";
  HtmlHelpAFunction html_help_ = nullptr;
  void* html_help_library_ = nullptr;
  std::shared_ptr<IHelpManager> help_manager_;
  std::string default_topic_extension_ = ".htm";
  HelpApplication& application_;
  std::string program_folder_;
};

// Makes the framework's WinHelp viewer decline every request.
class TVelWinHelpTester : public IWinHelpTester {
 public:
  bool CanShowALink(const std::string&, const std::string&) override { return false; }
  bool CanShowTopic(const std::string&, const std::string&) override { return false; }
  bool CanShowContext(int, const std::string&) override { return false; }
  // One line, ": <alink>".
  std::vector<std::string> GetHelpStrings(const std::string& alink) override {
    return {": " + alink};
  }
  std::string GetHelpPath() override { return {}; }
  std::string GetDefaultHelpFile() override { return {}; }
};

// The process's viewer while it exists, else null.
TVelHtmlHelpViewer* HtmlHelpViewer();

// Process start: creates the viewer, registers it with `application`, makes
// it the help system's selector, and installs the WinHelp tester.
void StartHtmlHelp(HelpApplication& application, HtmlHelpEnvironment environment);
// Process end: the viewer withdraws its registration and drops the manager.
void StopHtmlHelp();

}  // namespace tto::help
