// File: shell/app_help.h
//
// The window's two ways of asking for help: the help button shows the help
// file's table of contents, F1 the topic of a help context.
#pragma once

namespace tto {

// The help file's table of contents (the help button).
void ShowHelpContents();
// The topic of help context `context` (F1).
void ShowHelpContext(int context);

}  // namespace tto
